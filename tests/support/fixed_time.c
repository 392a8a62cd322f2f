/* Preloaded into a program so that time() reads a fixed clock: the seconds
   given in VQTEST_TIME. Programs seeded from the clock then repeat exactly,
   however long the machine takes between runs. */
#include <stdlib.h>
#include <time.h>

time_t time(time_t *t)
{
    const char *v = getenv("VQTEST_TIME");
    time_t now = v ? (time_t)strtoll(v, NULL, 10) : 1000000000;
    if (t)
        *t = now;
    return now;
}
