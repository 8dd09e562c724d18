// The window is built here.
