// Compiles the precompiled header of Google Test and Google Mock that every test reuses.
