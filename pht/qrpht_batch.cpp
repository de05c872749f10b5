// qrpht-batch: listings of many ISO PHT AAR products at once.
#include "batch.h"

int main(int argc, char **argv)
{
    return batch_main(argc, argv);
}
