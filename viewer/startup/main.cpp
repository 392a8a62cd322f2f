#include "startup.h"

int main(int argc, char **argv)
{
#ifdef XRW_IMPORT
    volumeImporter = importThroughPlugin;
#endif
    return xrwviewMain(argc, argv);
}
