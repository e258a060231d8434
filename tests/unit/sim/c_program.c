/* An outside C program: loads libscopesim.so, starts the default rig, applies commands. */
#include <dlfcn.h>
#include <stdio.h>

typedef int (*start_fn)(const char*);
typedef void (*stop_fn)(void);
typedef int (*int_fn)(void);
typedef int (*command_fn)(const char*);
typedef int (*id_fn)(int);
typedef int (*query_fn)(int, unsigned char, unsigned char, unsigned char, unsigned short,
                        unsigned char*);

#define NEED(var, type, name)                                                                      \
    type var = (type)dlsym(lib, name);                                                             \
    if (!var) {                                                                                    \
        fprintf(stderr, "missing %s\n", name);                                                     \
        return 1;                                                                                  \
    }

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: %s LIBSCOPESIM\n", argv[0]);
        return 2;
    }
    void* lib = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    if (!lib) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    NEED(start, start_fn, "scopesim_start");
    NEED(stop, stop_fn, "scopesim_stop");
    NEED(running, int_fn, "scopesim_running");
    NEED(command, command_fn, "scopesim_command");
    NEED(count, int_fn, "scopesim_xu_device_count");
    NEED(device_id, id_fn, "scopesim_xu_device_id");
    NEED(query, query_fn, "scopesim_xu_query");

    int failures = 0;
    if (start(NULL) != 0 || !running()) {
        fprintf(stderr, "default rig did not start\n");
        return 1;
    }
    if (count() != 2)
        ++failures, fprintf(stderr, "expected 2 devices, got %d\n", count());
    if (command("tube \"USB Inspection Camera\" out") != 0)
        ++failures, fprintf(stderr, "tube command refused\n");
    if (command("button \"USB Inspection Camera\" snapshot 300") != 0)
        ++failures, fprintf(stderr, "button command refused\n");
    if (command("unplug \"Integrated Camera\"") != 0 || count() != 1)
        ++failures, fprintf(stderr, "unplug not applied\n");
    /* The tube sensor now reads all ones: address stage, then the 16-bit data stage. */
    int scope = device_id(0);
    unsigned char addr[4] = {3, 0x7A, 0, 0}, data[4] = {0};
    if (query(scope, 4, 2, 0x01, 4, addr) != 0 || query(scope, 4, 4, 0x81, 4, data) != 0 ||
        data[2] != 0xFF || data[3] != 0xFF)
        ++failures, fprintf(stderr, "tube sensor did not read 0xFFFF\n");
    if (command("explode \"Integrated Camera\"") == 0)
        ++failures, fprintf(stderr, "a bad command was applied\n");
    stop();
    if (running())
        ++failures, fprintf(stderr, "rig still running\n");
    dlclose(lib);
    printf("%d failures\n", failures);
    return failures ? 1 : 0;
}
