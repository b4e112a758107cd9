/*
 * Loaded through LD_PRELOAD into Wine's 32-bit loader when it runs under
 * qemu user-mode emulation. Before Wine starts, it reserves the address
 * ranges Wine wants for itself and hands them over through the loader's
 * wine_main_preload_info. Without it Wine asks for each range with
 * MAP_FIXED_NOREPLACE, which qemu ignores, and then searches for free memory
 * in 64 KiB steps: close to a minute for every process.
 *
 * It links against no libc, so that it builds with the host's gcc alone,
 * without 32-bit development libraries; memory is asked for with raw system
 * calls. The 64-bit processes get an empty library of the same name instead
 * (the $LIB in the LD_PRELOAD path picks it).
 *
 * Built by tests/wine-run: gcc -m32 -shared -nostdlib -fPIC
 */

#if !defined(__i386__)
#error "the 32-bit preload library is built with -m32"
#endif

struct preload_area {
    unsigned long address;
    unsigned long size;
};

/* Defined by Wine's loader and read by Wine when it sets up its memory. Weak,
 * so that another 32-bit program that picks up the library by accident keeps
 * running and nothing is reserved in it. */
extern struct preload_area* wine_main_preload_info __attribute__((weak));

/* Low memory for DOS-era and 32-bit image bases, the rest of the lower 1 GiB,
 * and the area around 0x7ffe0000 where Windows keeps its shared user data. */
static const struct preload_area wanted[] = {
    {0x00010000ul, 0x00100000ul},
    {0x00110000ul, 0x3ef00000ul},
    {0x7f000000ul, 0x03000000ul},
};

/* The reserved ones, ended by an empty entry, as Wine reads them. */
static struct preload_area reserved[sizeof wanted / sizeof wanted[0] + 1];

/* mmap2 with PROT_NONE and MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE: an
 * address hint, no MAP_FIXED, so nothing already mapped (ld.so and the
 * libraries) can be replaced. Written out whole because mmap2 takes its sixth
 * argument in %ebp, which the compiler may not give to an asm operand. */
unsigned long preload_map_none(unsigned long address, unsigned long size) __attribute__((visibility("hidden")));
__asm__(".text\n"
        ".globl preload_map_none\n"
        ".hidden preload_map_none\n"
        ".type preload_map_none, @function\n"
        "preload_map_none:\n"
        "    pushl %ebp\n"
        "    pushl %ebx\n"
        "    pushl %esi\n"
        "    pushl %edi\n"
        "    movl $192, %eax\n"        /* __NR_mmap2 */
        "    movl 20(%esp), %ebx\n"
        "    movl 24(%esp), %ecx\n"
        "    xorl %edx, %edx\n"
        "    movl $0x4022, %esi\n"
        "    movl $-1, %edi\n"
        "    xorl %ebp, %ebp\n"
        "    int $0x80\n"
        "    popl %edi\n"
        "    popl %esi\n"
        "    popl %ebx\n"
        "    popl %ebp\n"
        "    ret\n"
        ".size preload_map_none, . - preload_map_none\n");

static void unmap(unsigned long address, unsigned long size)
{
    long result;
    __asm__ volatile("int $0x80" : "=a"(result) : "0"(91), "b"(address), "c"(size) : "memory");
    (void)result;
}

__attribute__((constructor)) static void reserve_wine_areas(void)
{
    if (&wine_main_preload_info == 0 || wine_main_preload_info != 0)
        return;
    unsigned count = 0;
    for (unsigned index = 0; index < sizeof wanted / sizeof wanted[0]; ++index) {
        const unsigned long got = preload_map_none(wanted[index].address, wanted[index].size);
        if (got == wanted[index].address) {
            reserved[count++] = wanted[index];
        } else if (got < 0xfffff000ul) {
            /* Placed elsewhere because part of the range is taken: give it
             * back, and Wine will look for that range itself. */
            unmap(got, wanted[index].size);
        }
    }
    if (count != 0)
        wine_main_preload_info = reserved;
}
