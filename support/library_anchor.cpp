// Anchor so the library has a source before its first files land; remove once it has others.
