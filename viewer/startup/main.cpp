#include "startup.h"

#ifdef XRW_IMPORT
#include "import.h"
#endif

int main(int argc, char **argv)
{
#ifdef XRW_IMPORT
    volumeImporter = importForViewer;
#endif
    return xrwviewMain(argc, argv);
}
