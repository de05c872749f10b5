// Registry of products held in memory; see memory_product.h.
#include "memory_product.h"

#include <map>
#include <utility>

namespace {

// The bytes stay here, unmoved, for as long as a stream may read them.
std::map<std::string, std::string> &registry()
{
    static std::map<std::string, std::string> products;
    return products;
}

}  // namespace

void memory_product_register(const std::string &name, std::string bytes)
{
    registry()[name] = std::move(bytes);
}

void memory_product_clear()
{
    registry().clear();
}

std::FILE *memory_product_open(const char *name)
{
    if (name == nullptr) return nullptr;
    auto it = registry().find(name);
    if (it == registry().end()) return nullptr;
    std::string &bytes = it->second;
    // A memory stream needs at least one byte; an empty product reads as
    // the empty device.
    if (bytes.empty()) return std::fopen("/dev/null", "rb");
    return fmemopen(bytes.data(), bytes.size(), "r");
}
