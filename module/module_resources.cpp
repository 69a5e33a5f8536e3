// The module's image resources, a table written by trovex-rc at build time, kept in a section
// of their own so that a program can read the button icons from the module file without
// loading it.
#ifndef TROVEX_RESOURCE_TABLE
#error "TROVEX_RESOURCE_TABLE must name the resource table file"
#endif

__asm__(".pushsection .trovex_rsrc,\"a\",@progbits\n"
        ".incbin \"" TROVEX_RESOURCE_TABLE "\"\n"
        ".popsection\n");
