// Messages of text fields between processes, one packet each over a
// SOCK_SEQPACKET socket, with open file descriptors passed along.
#pragma once

#include <string>
#include <vector>

// Fields as one text ("<length>:<bytes>" each), and back; decode_fields
// is false for a text that is not such a sequence.
std::string encode_fields(const std::vector<std::string> &fields);
bool decode_fields(const std::string &text, std::vector<std::string> &fields);

// Sends the fields, and the descriptors fds, as one packet; false when the
// packet cannot be sent (errno tells why: EAGAIN when wait is false and the
// socket is full). Never raises SIGPIPE.
bool send_packet(int socket, const std::vector<std::string> &fields, const std::vector<int> &fds = {},
                 bool wait = true);

enum class PacketResult { received, end, none, error };

// Receives one packet: received (fields filled, passed descriptors appended
// to fds, which the caller then owns), end (the other side closed), none
// (wait is false and nothing is there), or error (also for a packet that
// is not a field sequence).
PacketResult receive_packet(int socket, std::vector<std::string> &fields, std::vector<int> &fds,
                            bool wait = true);
