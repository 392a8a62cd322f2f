#include "startup.h"

int main(int argc, char **argv)
{
    return xrwviewMain(argc, argv);
}
