' comment only
Print "a""b", -(-(2)), -"3", True, -True, Empty, Nothing
Circle 1, 2, 3, 4, , , , 1.5
DesignMode True
Print Offsets
x = 1
