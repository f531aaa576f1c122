#pragma once

// Disconnects and forgets every reader of the process-wide registry, and lets the links'
// deferred deletions run, so that the next test starts from an empty registry.
void resetReaderRegistry();
