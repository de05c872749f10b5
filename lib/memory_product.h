// Products held in memory under a display name, for products that have no
// file of their own (members of tar archives, decompressed files). While a
// name is registered, topenr opens it from memory instead of from the file
// system, so every reader of the product (the driver, the banner, the
// listings) sees the same bytes under the name the listing shows.
#pragma once

#include <cstdio>
#include <string>

// Registers bytes under name, replacing an earlier registration of name.
void memory_product_register(const std::string &name, std::string bytes);

// Forgets every registered product.
void memory_product_clear();

// A read stream over the registered bytes of name (released by fclose), or
// null when name is not registered or no stream can be made.
std::FILE *memory_product_open(const char *name);
