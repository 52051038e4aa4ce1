// A toolkit-free picture.
