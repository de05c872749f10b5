// Splitting of 80-character FITS header cards into keyword, value and
// comment, and the marking of quoted string values for printing.
#pragma once

void parse(const char *card, char *keyword, char *value, char *comment);
void clean(char *str);
