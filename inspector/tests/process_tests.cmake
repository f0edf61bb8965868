# Process-level tests: the built program against loopback servers.
