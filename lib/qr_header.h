// Listing banner shared by every product listing, and the conversion of the
// ISO UTC strings (YYDDDHHMMSS) of a product into a readable date and time.
#pragma once

#include <string>

#include "card_store.h"

const char *qr_header(const char *filename, const char *program_name,
                      const char *program_version);
int         qr_isoutc(const char *isoutc, char *date, char *time);

// The banner of a product whose header cards are in the store (only its
// primary cards are read). qr_header reads the file and composes the same.
std::string qr_banner(const CardStore &cards, const char *filename, const char *program_name,
                      const char *program_version);
