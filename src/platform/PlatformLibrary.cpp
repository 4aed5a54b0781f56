// The operating-system adapters library needs one translation unit of its own.
