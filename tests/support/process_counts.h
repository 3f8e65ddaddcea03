// What the test process holds, counted between calls to find what a call leaves behind.
#pragma once
#include <stdint.h>

namespace dlltest {

int thread_count();                  // threads of this process
int handle_count();                  // open handles of this process
uint64_t heap_bytes_in_use();        // bytes in the busy blocks of every heap of the process
uint64_t committed_private_bytes();  // private pages committed: heaps, stacks, VirtualAlloc blocks

}  // namespace dlltest
