// The capture back end's own contract: including it from capture/ is fine.
