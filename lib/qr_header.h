// Listing banner shared by every product listing, and the conversion of the
// ISO UTC strings (YYDDDHHMMSS) of a product into a readable date and time.
#pragma once

const char *qr_header(const char *filename, const char *program_name,
                      const char *program_version);
int         qr_isoutc(const char *isoutc, char *date, char *time);
