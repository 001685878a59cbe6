// The table text form of the golden cases, for the window tests that load
// them. The forms test program does not link the test library that holds
// it (quiltor_table_fixture), so its one source is built in here.
#include "common/TableFixture.cpp"
