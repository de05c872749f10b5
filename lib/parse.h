// Splitting of 80-character FITS header cards into keyword, value and
// comment, and the marking of quoted string values for printing. Both are
// implemented with the other card readings in fits_card.cpp.
#pragma once

// keyword receives the 8-character keyword field (9 bytes with its
// terminator), value the value field from column 11 up to the " /" of the
// comment, comment the text behind that slash (71 bytes each). The " /" of
// a string value is looked for only behind its closing quote.
void parse(const char *card, char *keyword, char *value, char *comment);
// Rewrites a value in place: its string shown in parentheses, each '' as one
// quote; what follows the closing quote is dropped.
void clean(char *str);
