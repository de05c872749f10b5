// Placeholder: this listing is being written. Opens the listing only.
#include "listing.h"
#include "pht.h"

int readpls(const char *filename, int mode, const char *outfile, const char *im_file)
{
    (void)im_file;
    (void)mode;
    if (!open_listing(filename, outfile)) return 1;
    tcls(unitout);
    return 0;
}
