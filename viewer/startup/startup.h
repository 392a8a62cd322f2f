// xrwview's start-up: the command line and the construction of the scene.
#pragma once

// The whole program after process start; returns the exit status.
int xrwviewMain(int argc, char **argv);
// Writes the usage text to standard error.
void usage(const char *progname);
