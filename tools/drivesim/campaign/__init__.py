"""The fault campaign's parts: discs, faults, cases, runs, files and invariants."""
