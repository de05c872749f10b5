// Preparing a process that forks many short-lived children.
//
// A child does not inherit the page table entries of read-only file
// mappings (program and library code, constant data): the kernel leaves
// them to be faulted in again, and every child pays a page fault (and a
// walk of the page cache) for each stretch of code it runs. Anonymous
// memory keeps its entries across a fork. Moving the code and constant data
// of the process into anonymous memory of the same content, at the same
// addresses, spares every child those faults, at the price of a little
// memory in the parent (shared by the children, never copied).
#pragma once

// Replaces every private read-only file mapping of the process (code and
// constant data of the program and its libraries) by anonymous memory with
// the same content and protection, in huge pages. Returns the number of
// bytes moved: none when the kernel gives no huge pages (with small pages a
// fork would copy an entry per page, which costs about what the faults it
// spares do); mappings that cannot be moved are left as they were. Call
// with a single thread running.
long move_code_to_anonymous_memory();
