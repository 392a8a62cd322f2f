/* Preloaded into sanitizer test runs only: libraries are never unloaded.
 * The GL driver is unloaded at exit before LeakSanitizer looks; memory that
 * only the unloaded driver still pointed at would then read as leaks with
 * stacks that cannot be named. Keeping it loaded lets the leak check see
 * the driver's own references. */
int dlclose(void *handle)
{
    (void)handle;
    return 0;
}
