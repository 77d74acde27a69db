/* The table of resources compiled into an executable (cmake/Resources.cmake generates it;
 * the kernel's FindResourceA reads it). The platform library refers to the table weakly,
 * so an executable without resources links and simply has none; no static
 * initialisation is involved. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

struct lumetra_resource {
    const char* type; /* string type, or null when the type is the integer type_id */
    uint32_t type_id;
    const char* name; /* string name, or null when the name is the integer name_id */
    uint32_t name_id;
    const unsigned char* begin; /* the bytes, read-only, for the life of the process */
    const unsigned char* end;
};

struct lumetra_resource_table {
    size_t count;
    const struct lumetra_resource* entries;
};

/* Defined by the executable's generated resource source as
 *   const struct lumetra_resource_table lumetra_resources = {...};
 * (with extern "C" linkage). */

#ifdef __cplusplus
}
#endif
