// qrpht: plain-text listings of ISO PHT Auto-Analysis Result products.
#include <cstdio>
#include <cstdlib>

#include "pht.h"

int main(int argc, char **argv)
{
    int status = qrpht_main(argc, argv);
    std::fflush(stdout);
    return status;
}
