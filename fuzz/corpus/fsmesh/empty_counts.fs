nothing
0 0
