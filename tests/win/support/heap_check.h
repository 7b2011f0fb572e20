// The memory checker of the Windows tests. The test prefix turns on the heap's own debugging
// aids for the Windows programs of the tests (free blocks filled and checked, a checked tail
// after each block: GlobalFlag 0x30 under Image File Execution Options); every test
// process then checks all its heaps as it ends, and a write after free or past a block's
// end fails the test that made it.
#pragma once

// True when every heap of the process passes the system's validation.
bool ProcessHeapsValid();
