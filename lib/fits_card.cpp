// Reading of FITS string values; see fits_card.h.
#include "fits_card.h"

FitsString fits_string(std::string_view text, std::size_t open)
{
    FitsString s;
    std::size_t pos = open + 1;
    while (pos < text.size()) {
        if (text[pos] != '\'') {
            s.text.push_back(text[pos++]);
        } else if (pos + 1 < text.size() && text[pos + 1] == '\'') {
            s.text.push_back('\'');
            pos += 2;
        } else {
            s.close = pos;
            s.terminated = true;
            return s;
        }
    }
    s.close = text.size();
    return s;
}
