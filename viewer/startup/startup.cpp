// Placeholder until start-up lands.
#include "startup.h"

int xrwviewMain(int, char **)
{
    return 0;
}

void usage(const char *)
{
}
