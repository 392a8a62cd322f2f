weights
2
5 0.2
7 0.8
