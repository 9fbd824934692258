/* usbfs_emulator: runs a program with the simulator's USB hub as an emulated
 * usbfs device, so that the program's unmodified libusb reaches it.
 *
 *   usbfs_emulator [--usb-sim DIR] [--location B-P] -- PROGRAM [ARG...]
 *
 * The hub is on the bus while the simulator publishes it in DIR
 * (<location>.json, written by vexal-hubsim --usb-sim DIR) and leaves it when
 * the simulator takes it away or drops its link; its bulk bytes go to and
 * from <location>.sock. Without --usb-sim a fresh directory is made. PROGRAM
 * runs under umockdev's preload with VEXAL_USBFS_SIM_DIR naming the
 * directory; the emulator ends with PROGRAM and exits with its status.
 */
#define _GNU_SOURCE
#include <glib-unix.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "usbfs_device.h"

enum { kWatchPeriodMs = 20 };
static const char kPreload[] = "libumockdev-preload.so.0";

typedef struct {
    GMainLoop* loop;
    UsbfsBus* bus;
    char* descriptor_path;
    GPid child;
    int status;
} Emulator;

/* What the simulator's descriptor says: present, and held by another program. */
static gboolean on_watch(gpointer data) {
    Emulator* e = data;
    g_autofree char* text = NULL;
    const gboolean present = g_file_get_contents(e->descriptor_path, &text, NULL, NULL);
    gboolean exclusive = FALSE;
    if (present) {
        const char* key = strstr(text, "\"exclusive\"");
        const char* colon = key != NULL ? strchr(key, ':') : NULL;
        if (colon != NULL) exclusive = strncmp(colon + 1 + strspn(colon + 1, " \t"), "true", 4) == 0;
    }
    usbfs_bus_sync(e->bus, present, exclusive);
    return G_SOURCE_CONTINUE;
}

static void on_child_exit(GPid pid, int status, gpointer data) {
    Emulator* e = data;
    g_spawn_close_pid(pid);
    e->child = 0;
    e->status = status;
    g_main_loop_quit(e->loop);
}

static gboolean on_signal(gpointer data) {
    Emulator* e = data;
    if (e->child > 0) kill(e->child, SIGTERM);
    return G_SOURCE_CONTINUE;
}

static void in_child(gpointer data) {
    (void)data;
    prctl(PR_SET_PDEATHSIG, SIGKILL); /* its ioctls cannot be answered without us */
}

static void remove_tree(const char* path) {
    GDir* dir = g_dir_open(path, 0, NULL);
    if (dir != NULL) {
        const char* name;
        while ((name = g_dir_read_name(dir)) != NULL) {
            g_autofree char* child = g_build_filename(path, name, NULL);
            if (g_file_test(child, G_FILE_TEST_IS_DIR) && !g_file_test(child, G_FILE_TEST_IS_SYMLINK))
                remove_tree(child);
            else
                g_unlink(child);
        }
        g_dir_close(dir);
    }
    g_rmdir(path);
}

int main(int argc, char** argv) {
    /* umockdev builds an event from the device's records in sysfs, which only
     * its preload shows: the emulator runs under it too. */
    const char* preload = g_getenv("LD_PRELOAD");
    if (preload == NULL || strstr(preload, kPreload) == NULL) {
        g_autofree char* preloads =
            preload != NULL && *preload != '\0' ? g_strconcat(kPreload, ":", preload, NULL) : g_strdup(kPreload);
        g_setenv("LD_PRELOAD", preloads, TRUE);
        execv("/proc/self/exe", argv);
        fprintf(stderr, "usbfs_emulator: cannot restart under umockdev's preload: %s\n", g_strerror(errno));
        return 2;
    }
    g_autofree char* sim_dir = NULL;
    g_autofree char* location = g_strdup("1-1");
    int first = 1;
    for (; first < argc && strcmp(argv[first], "--") != 0; ++first) {
        if (strcmp(argv[first], "--usb-sim") == 0 && first + 1 < argc) {
            g_free(sim_dir);
            sim_dir = g_strdup(argv[++first]);
        } else if (strcmp(argv[first], "--location") == 0 && first + 1 < argc) {
            g_free(location);
            location = g_strdup(argv[++first]);
        } else {
            break;
        }
    }
    if (first + 1 >= argc || strcmp(argv[first], "--") != 0) {
        fprintf(stderr, "usage: %s [--usb-sim DIR] [--location B-P] -- PROGRAM [ARG...]\n", argv[0]);
        return 2;
    }
    const gboolean own_dir = sim_dir == NULL;
    if (own_dir) {
        g_autoptr(GError) error = NULL;
        sim_dir = g_dir_make_tmp("vexal-usbfs-XXXXXX", &error);
        if (sim_dir == NULL) {
            fprintf(stderr, "usbfs_emulator: %s\n", error->message);
            return 2;
        }
    }

    UMockdevTestbed* testbed = umockdev_testbed_new(); /* sets UMOCKDEV_DIR for the program */
    g_autofree char* base = g_strdup_printf("%s/%s", sim_dir, location);
    g_autofree char* sock_path = g_strconcat(base, ".sock", NULL);
    Emulator e = {0};
    e.descriptor_path = g_strconcat(base, ".json", NULL);
    e.bus = usbfs_bus_new(testbed, location, sock_path);
    if (e.bus == NULL) {
        fprintf(stderr, "usbfs_emulator: location '%s' is not of the form <bus>-<port>\n", location);
        return 2;
    }
    on_watch(&e);

    char** env = g_get_environ();
    env = g_environ_setenv(env, "VEXAL_USBFS_SIM_DIR", sim_dir, TRUE);
    g_autoptr(GError) error = NULL;
    if (!g_spawn_async(NULL, argv + first + 1, env,
                       G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_SEARCH_PATH | G_SPAWN_CHILD_INHERITS_STDIN, in_child, NULL,
                       &e.child, &error)) {
        fprintf(stderr, "usbfs_emulator: cannot run %s: %s\n", argv[first + 1], error->message);
        return 2;
    }
    g_strfreev(env);

    e.loop = g_main_loop_new(NULL, FALSE);
    g_child_watch_add(e.child, on_child_exit, &e);
    g_timeout_add(kWatchPeriodMs, on_watch, &e);
    g_unix_signal_add(SIGTERM, on_signal, &e);
    g_unix_signal_add(SIGINT, on_signal, &e);
    g_main_loop_run(e.loop);

    /* Nothing is freed: umockdev's worker thread may still be taking in the
     * program's last closes. Only the directories go. */
    g_autofree char* root = umockdev_testbed_get_root_dir(testbed);
    remove_tree(root);
    if (own_dir) remove_tree(sim_dir);
    if (WIFEXITED(e.status)) return WEXITSTATUS(e.status);
    return 128 + (WIFSIGNALED(e.status) ? WTERMSIG(e.status) : 0);
}
