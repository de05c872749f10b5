// Placeholder: this listing is being written. Opens the listing only.
#include "listing.h"
#include "pht.h"

int readpca(const char *filename, int mode, const char *outfile)
{

    (void)mode;
    if (!open_listing(filename, outfile)) return 1;
    tcls(unitout);
    return 0;
}
