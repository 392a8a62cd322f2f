weights
0
