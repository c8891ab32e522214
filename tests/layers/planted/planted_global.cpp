// A planted namespace-scope mutable object: scripts/check-globals must name
// it (tests/CMakeLists.txt runs the check on this file's object).
int planted_counter = 0;

int bump_planted_counter() { return ++planted_counter; }
