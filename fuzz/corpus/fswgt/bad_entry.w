w
2
1 1.0
x y
