AutoSize = 1
Zoom = 2.5
ScaleMode = 3
Print ScaleWidth, ScaleHeight, Zoom
Paint
HScroll LineRight
VScroll ThumbPosition, 20
Print HorzPos, VertPos
