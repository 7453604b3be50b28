#pragma once

// Lets the C library keep the large blocks a report needs for the next
// report instead of handing them back to the system after each one. Call
// once per process, after start-up has freed its own large blocks (they would
// stay resident) and before the first conversion; does nothing where the C
// library is not glibc.
void keepLargeBuffersInHeap();
