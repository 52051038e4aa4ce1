// Private to the capture library.
