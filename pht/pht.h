// State shared by the driver and the three product listings: the table unit
// numbers, the product flags, the header card store and the listing entry
// points. The driver fills all of it once; the listings only read it.
#pragma once

#include <string>
#include <vector>

// Table unit numbers: the AAR product (read), the listing (written). The
// banner reads the product a second time through its own unit.
extern int unitin;   // 9
extern int unitout;  // 11

// Product flags: exactly one is 1 while a PCAE, PCAS, PCAP, PPAE or PPAP
// product is listed; none for the spectrometer products.
extern int pcae_done;
extern int pcas_done;
extern int pcap_done;
extern int ppae_done;
extern int ppap_done;

// Header card store: every 80-character card of the primary header and of
// the extension header, in file order, each header's END card included.
// c_str() of a row is the card followed by its terminator. header_row is
// the number of stored cards.
extern std::vector<std::string> header;
extern int header_row;

// Product listings. Each writes the listing of the product open on unitin
// to outfile and returns the process exit status (0 listed, 1 failure).
// mode is 0 for the normal listing, 1 for the verbose one.
int readpca(const char *filename, int mode, const char *outfile);
int readppa(const char *filename, int mode, const char *outfile);
int readpls(const char *filename, int mode, const char *outfile, const char *im_file);

// The whole program behind main(): options, input, card store, dispatch.
// Returns the exit status.
int qrpht_main(int argc, char **argv);

// Product type of the product the last qrpht_main call dispatched ("PCAE",
// "PCAS", "PCAP", "PPAE", "PPAP", "PLA", "PSA", or "PGA" for an image file);
// empty when the call ended before dispatch or no type matched.
const std::string &dispatched_product_type();
