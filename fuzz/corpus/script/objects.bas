Set p = Picture
Print p, VarType(p), ExtentWidth, ExtentHeight
TabStops(1) = 30
Print TabStops(1)
MouseMove 10, 12, 1, 0
Click 3, 4
Print CurrentCursor, ViewPixel(0, 0)
