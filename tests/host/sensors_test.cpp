// Host backend tests; filled in with the part.
