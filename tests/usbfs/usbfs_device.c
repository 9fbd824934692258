/* The hub as an emulated usbfs device (see usbfs_device.h).
 *
 * The ioctl handler runs on umockdev's worker thread, the bus changes on the
 * main loop's thread: one lock guards everything below. The node is a plain
 * file, so poll() always reports it ready and libusb reaps in a loop; an
 * empty reap is therefore answered after a short pause rather than at once,
 * which keeps the client from spinning a core.
 */
#define _GNU_SOURCE
#include "usbfs_device.h"

#include <errno.h>
#include <linux/ioctl.h>
#include <linux/types.h>
#include <linux/usbdevice_fs.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

enum {
    kEndpointOut = 0x01,
    kEndpointIn = 0x81,
    kUsbDeviceMajor = 189,
    kSpeedHigh = 3, /* enum usb_device_speed: USB_SPEED_HIGH */
    kEmptyReapPauseMs = 2,
};

typedef struct Client Client;

typedef struct { /* one appearance of the hub on the bus */
    unsigned devnum;
    char* devnode;    /* /dev/bus/usb/BBB/DDD */
    char* syspath;    /* /sys/devices/.../<location> */
    gboolean gone;    /* unplugged or link lost: every request fails with ENODEV */
    gboolean removed; /* its sysfs records are gone too */
    Client* owner;    /* the descriptor that claimed interface 0 */
    int bulk_fd;      /* connection to the simulator, -1 */
} Plug;

typedef struct {
    UMockdevIoctlData* urb;    /* the client's struct usbdevfs_urb, resolved */
    UMockdevIoctlData* buffer; /* its buffer; NULL for length 0 */
} Urb;

struct Client { /* one open descriptor of a device node */
    UsbfsBus* bus;
    UMockdevIoctlClient* client; /* held until its descriptor is seen closed */
    Plug* plug;
    GQueue in_flight; /* IN transfers waiting for bytes */
    GQueue done;      /* ready to be reaped */
    GSource* parked;  /* pause of an empty reap */
};

struct UsbfsBus {
    GMutex lock;
    UMockdevTestbed* testbed;
    UMockdevIoctlBase* handler;
    char* location;
    unsigned busnum, port;
    char* sock_path;
    GPtrArray* plugs;    /* every appearance, the last may be present */
    GHashTable* clients; /* UMockdevIoctlClient* -> Client* */
    gboolean exclusive;
    unsigned next_devnum;
};

/* Device (vendor 5A4D, product 005D), one configuration with one
 * vendor-class interface, bulk OUT 0x01 and IN 0x81 of 512 bytes. */
static const char kDescriptorsHex[] =
    "12010002000000404D5A5D00000100000001"
    "09022000010100803209040000"
    "02FF0000000705010200020007058102000200";

static void urb_free(gpointer data) {
    Urb* u = data;
    g_clear_object(&u->buffer);
    g_clear_object(&u->urb);
    g_free(u);
}

static struct usbdevfs_urb* urb_of(Urb* u) { return (struct usbdevfs_urb*)u->urb->data; }

static Plug* live_plug(UsbfsBus* bus) {
    if (bus->plugs->len == 0) return NULL;
    Plug* p = g_ptr_array_index(bus->plugs, bus->plugs->len - 1);
    return p->removed ? NULL : p;
}

static char* interface_driver_link(UsbfsBus* bus, Plug* p) {
    g_autofree char* root = umockdev_testbed_get_root_dir(bus->testbed);
    return g_strdup_printf("%s%s/%s:1.0/driver", root, p->syspath, bus->location);
}

/* "usbfs" is bound to the interface while a program holds it, as the kernel
 * shows it in sysfs. */
static void show_driver(UsbfsBus* bus, Plug* p, gboolean bound) {
    if (p->removed) return;
    g_autofree char* link = interface_driver_link(bus, p);
    if (!bound) {
        unlink(link);
        return;
    }
    g_autofree char* root = umockdev_testbed_get_root_dir(bus->testbed);
    g_autofree char* drivers = g_strdup_printf("%s/sys/bus/usb/drivers/usbfs", root);
    g_mkdir_with_parents(drivers, 0755);
    /* relative, as sysfs makes it: .../usb<B>/<location>/<location>:1.0 up to sys/ */
    if (symlink("../../../../../../bus/usb/drivers/usbfs", link) != 0 && errno != EEXIST)
        g_warning("cannot link %s: %s", link, g_strerror(errno));
}

static void close_bulk(Plug* p) {
    if (p->bulk_fd >= 0) close(p->bulk_fd);
    p->bulk_fd = -1;
}

static void finish_in_flight(Client* c, int status) {
    Urb* u;
    while ((u = g_queue_pop_head(&c->in_flight)) != NULL) {
        urb_of(u)->status = status;
        urb_of(u)->actual_length = 0;
        g_queue_push_tail(&c->done, u);
    }
}

static void release(UsbfsBus* bus, Client* c) {
    Plug* p = c->plug;
    if (p->owner != c) return;
    p->owner = NULL;
    close_bulk(p);
    finish_in_flight(c, -ENOENT);
    show_driver(bus, p, bus->exclusive);
}

/* The hub left the bus: transfers in flight end as on a disconnect and can
 * still be reaped; everything else fails with ENODEV. */
static void mark_gone(UsbfsBus* bus, Plug* p) {
    if (p->gone) return;
    p->gone = TRUE;
    close_bulk(p);
    GHashTableIter it;
    gpointer value;
    g_hash_table_iter_init(&it, bus->clients);
    while (g_hash_table_iter_next(&it, NULL, &value)) {
        Client* c = value;
        if (c->plug == p) finish_in_flight(c, -ESHUTDOWN);
    }
}

static int connect_bulk(UsbfsBus* bus, Plug* p) {
    if (p->bulk_fd >= 0) return 0;
    struct sockaddr_un addr = {.sun_family = AF_UNIX};
    if (strlen(bus->sock_path) >= sizeof addr.sun_path) return -ENAMETOOLONG;
    strcpy(addr.sun_path, bus->sock_path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -errno;
    if (connect(fd, (struct sockaddr*)&addr, sizeof addr) != 0) {
        int err = errno;
        close(fd);
        return -err;
    }
    p->bulk_fd = fd;
    return 0;
}

/* Bytes the simulator sent complete the oldest IN transfer, as a short packet would. */
static void pump(UsbfsBus* bus, Client* c) {
    Plug* p = c->plug;
    while (!p->gone && p->owner == c && p->bulk_fd >= 0 && !g_queue_is_empty(&c->in_flight)) {
        Urb* u = g_queue_peek_head(&c->in_flight);
        ssize_t n = recv(p->bulk_fd, u->buffer->data, (size_t)u->buffer->data_len, MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
        if (n <= 0) { /* the simulator closed the link: the hub is gone */
            mark_gone(bus, p);
            return;
        }
        g_queue_pop_head(&c->in_flight);
        urb_of(u)->status = 0;
        urb_of(u)->actual_length = (int)n;
        g_queue_push_tail(&c->done, u);
    }
}

static int claim(UsbfsBus* bus, Client* c) {
    Plug* p = c->plug;
    if (p->owner == c) return 0;
    if (p->owner != NULL || bus->exclusive) return -EBUSY;
    p->owner = c;
    show_driver(bus, p, TRUE);
    return 0;
}

static UMockdevIoctlData* resolve(UMockdevIoctlData* data, gsize offset, gsize len) {
    g_autoptr(GError) error = NULL;
    UMockdevIoctlData* d = umockdev_ioctl_data_resolve(data, offset, len, &error);
    if (d == NULL && error != NULL) g_warning("cannot read the client's memory: %s", error->message);
    return d;
}

static int submit(UsbfsBus* bus, Client* c, UMockdevIoctlData* arg) {
    g_autoptr(UMockdevIoctlData) d = resolve(arg, 0, sizeof(struct usbdevfs_urb));
    if (d == NULL) return -EFAULT;
    struct usbdevfs_urb* urb = (struct usbdevfs_urb*)d->data;
    Plug* p = c->plug;
    if (p->gone) return -ENODEV;
    if (urb->buffer_length < 0) return -EINVAL;
    Urb* u = g_new0(Urb, 1);
    u->urb = g_object_ref(d);
    if (urb->buffer_length > 0) {
        u->buffer = resolve(d, offsetof(struct usbdevfs_urb, buffer), (gsize)urb->buffer_length);
        if (u->buffer == NULL) {
            urb_free(u);
            return -EFAULT;
        }
    }
    urb->actual_length = 0;
    urb->status = 0;
    if (urb->type == USBDEVFS_URB_TYPE_CONTROL) { /* no control requests beyond the descriptors in sysfs */
        urb->status = -EPIPE;
        g_queue_push_tail(&c->done, u);
        return 0;
    }
    int err = 0;
    if (urb->type != USBDEVFS_URB_TYPE_BULK || (urb->endpoint != kEndpointOut && urb->endpoint != kEndpointIn))
        err = -EINVAL;
    if (err == 0) err = claim(bus, c); /* as the kernel does for a transfer on an unclaimed interface */
    if (err == 0 && connect_bulk(bus, p) != 0) {
        mark_gone(bus, p);
        err = -ENODEV;
    }
    if (err != 0) {
        urb_free(u);
        return err;
    }
    if (urb->endpoint == kEndpointIn) {
        g_queue_push_tail(u->buffer != NULL ? &c->in_flight : &c->done, u);
        return 0;
    }
    size_t sent = 0;
    while (sent < (size_t)urb->buffer_length) {
        ssize_t n = send(p->bulk_fd, u->buffer->data + sent, (size_t)urb->buffer_length - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            mark_gone(bus, p);
            urb->status = -ESHUTDOWN;
            break;
        }
        sent += (size_t)n;
    }
    urb->actual_length = (int)sent;
    g_queue_push_tail(&c->done, u);
    return 0;
}

static int discard(Client* c, UMockdevIoctlData* arg) {
    const gulong addr = *(const gulong*)arg->data;
    for (GList* l = c->in_flight.head; l != NULL; l = l->next) {
        Urb* u = l->data;
        if (u->urb->client_addr != addr) continue;
        g_queue_delete_link(&c->in_flight, l);
        urb_of(u)->status = -ENOENT;
        g_queue_push_tail(&c->done, u);
        return 0;
    }
    return -EINVAL; /* already completed: libusb reaps it */
}

/* Hands the oldest finished transfer back: the client's pointer slot is made
 * to point at its URB, which umockdev writes back with the buffer. */
static gboolean reap(Client* c, UMockdevIoctlClient* client) {
    Urb* u = g_queue_pop_head(&c->done);
    if (u == NULL) return FALSE;
    g_autoptr(UMockdevIoctlData) slot = resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(void*));
    if (slot == NULL || !umockdev_ioctl_data_set_ptr(slot, 0, u->urb)) {
        urb_free(u);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return TRUE;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    urb_free(u);
    return TRUE;
}

static gboolean on_pause_over(gpointer data) {
    Client* c = data;
    UsbfsBus* bus = c->bus;
    g_mutex_lock(&bus->lock);
    if (g_source_is_destroyed(g_main_current_source())) { /* its client closed meanwhile */
        g_mutex_unlock(&bus->lock);
        return G_SOURCE_REMOVE;
    }
    g_source_unref(c->parked);
    c->parked = NULL;
    pump(bus, c);
    if (!reap(c, c->client)) umockdev_ioctl_client_complete(c->client, -1, c->plug->gone ? ENODEV : EAGAIN);
    g_mutex_unlock(&bus->lock);
    return G_SOURCE_REMOVE;
}

static Client* client_of(UsbfsBus* bus, UMockdevIoctlClient* client) {
    Client* c = g_hash_table_lookup(bus->clients, client);
    if (c != NULL) return c;
    const char* devnode = umockdev_ioctl_client_get_devnode(client);
    Plug* plug = NULL;
    for (guint i = 0; i < bus->plugs->len; ++i) {
        Plug* p = g_ptr_array_index(bus->plugs, i);
        if (g_strcmp0(p->devnode, devnode) == 0) plug = p;
    }
    if (plug == NULL) return NULL;
    c = g_new0(Client, 1);
    c->bus = bus;
    /* umockdev lets go of a client between requests: held, so that no other
     * client takes its address while it is listed here */
    c->client = g_object_ref(client);
    c->plug = plug;
    g_queue_init(&c->in_flight);
    g_queue_init(&c->done);
    g_hash_table_insert(bus->clients, client, c);
    return c;
}

static void client_free(gpointer data) {
    Client* c = data;
    if (c->parked != NULL) {
        g_source_destroy(c->parked);
        g_source_unref(c->parked);
    }
    release(c->bus, c);
    g_queue_clear_full(&c->in_flight, urb_free);
    g_queue_clear_full(&c->done, urb_free);
    g_object_unref(c->client);
    g_free(c);
}

static void on_client_connected(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer data) {
    (void)handler;
    UsbfsBus* bus = data;
    g_mutex_lock(&bus->lock);
    client_of(bus, client);
    g_mutex_unlock(&bus->lock);
}

static int interface_arg(UMockdevIoctlData* arg, gsize len, UMockdevIoctlData** out) {
    *out = resolve(arg, 0, len);
    if (*out == NULL) return -EFAULT;
    return *(const unsigned int*)(*out)->data == 0 ? 0 : -EINVAL;
}

/* Returns TRUE when the answer is left to a pause (an empty reap). */
static gboolean handle(UsbfsBus* bus, Client* c, UMockdevIoctlClient* client, long* result) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    g_autoptr(UMockdevIoctlData) d = NULL;
    Plug* p = c->plug;
    int err = 0;
    *result = 0;

    if ((request & ~((gulong)_IOC_SIZEMASK << _IOC_SIZESHIFT)) == USBDEVFS_CONNINFO_EX(0)) {
        struct usbdevfs_conninfo_ex info = {.size = sizeof info,
                                            .busnum = bus->busnum,
                                            .devnum = p->devnum,
                                            .speed = kSpeedHigh,
                                            .num_ports = 1,
                                            .ports = {(__u8)bus->port}};
        const gsize len = MIN((gsize)_IOC_SIZE(request), sizeof info);
        if (p->gone)
            err = -ENODEV;
        else if ((d = resolve(arg, 0, len)) == NULL)
            err = -EFAULT;
        else
            memcpy(d->data, &info, len);
        *result = err;
        return FALSE;
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES:
        if ((d = resolve(arg, 0, sizeof(__u32))) == NULL) {
            err = -EFAULT;
            break;
        }
        *(__u32*)d->data = USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                           USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_CONNINFO_EX;
        break;
    case USBDEVFS_CONNECTINFO:
        if (p->gone)
            err = -ENODEV;
        else if ((d = resolve(arg, 0, sizeof(struct usbdevfs_connectinfo))) == NULL)
            err = -EFAULT;
        else
            ((struct usbdevfs_connectinfo*)d->data)->devnum = p->devnum;
        break;
    case USBDEVFS_GET_SPEED:
        if (p->gone)
            err = -ENODEV;
        else
            *result = kSpeedHigh;
        break;
    case USBDEVFS_GETDRIVER:
        if ((err = interface_arg(arg, sizeof(struct usbdevfs_getdriver), &d)) != 0) break;
        if (p->gone)
            err = -ENODEV;
        else if (p->owner == NULL && !bus->exclusive)
            err = -ENODATA; /* no kernel driver bound */
        else
            g_strlcpy(((struct usbdevfs_getdriver*)d->data)->driver, "usbfs", USBDEVFS_MAXDRIVERNAME + 1);
        break;
    case USBDEVFS_IOCTL: { /* detach or re-attach a kernel driver: there is none */
        if ((d = resolve(arg, 0, sizeof(struct usbdevfs_ioctl))) == NULL) {
            err = -EFAULT;
            break;
        }
        const struct usbdevfs_ioctl* cmd = (const struct usbdevfs_ioctl*)d->data;
        if (p->gone)
            err = -ENODEV;
        else if (cmd->ifno != 0)
            err = -EINVAL;
        else if (cmd->ioctl_code == USBDEVFS_DISCONNECT)
            err = -ENODATA;
        else if (cmd->ioctl_code != USBDEVFS_CONNECT)
            err = -ENOTTY;
        break;
    }
    case USBDEVFS_DISCONNECT_CLAIM:
        if ((err = interface_arg(arg, sizeof(struct usbdevfs_disconnect_claim), &d)) == 0)
            err = p->gone ? -ENODEV : claim(bus, c);
        break;
    case USBDEVFS_CLAIMINTERFACE:
        if ((err = interface_arg(arg, sizeof(unsigned int), &d)) == 0) err = p->gone ? -ENODEV : claim(bus, c);
        break;
    case USBDEVFS_RELEASEINTERFACE:
        if ((err = interface_arg(arg, sizeof(unsigned int), &d)) != 0) break;
        if (p->owner != c)
            err = -EINVAL;
        else
            release(bus, c);
        break;
    case USBDEVFS_SETINTERFACE:
        if ((err = interface_arg(arg, sizeof(struct usbdevfs_setinterface), &d)) != 0) break;
        if (p->gone)
            err = -ENODEV;
        else if (((struct usbdevfs_setinterface*)d->data)->altsetting != 0)
            err = -EINVAL;
        break;
    case USBDEVFS_SETCONFIGURATION:
        if ((d = resolve(arg, 0, sizeof(int))) == NULL)
            err = -EFAULT;
        else if (p->gone)
            err = -ENODEV;
        else if (*(const int*)d->data != 1)
            err = -EINVAL;
        break;
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESETEP:
    case USBDEVFS_RESET:
    case USBDEVFS_FORBID_SUSPEND:
    case USBDEVFS_ALLOW_SUSPEND:
        if (p->gone) err = -ENODEV;
        break;
    case USBDEVFS_SUBMITURB: err = submit(bus, c, arg); break;
    case USBDEVFS_DISCARDURB: err = discard(c, arg); break;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        pump(bus, c);
        if (reap(c, client)) return TRUE;
        if (p->gone) {
            err = -ENODEV;
            break;
        }
        c->parked = g_timeout_source_new(kEmptyReapPauseMs);
        g_source_set_callback(c->parked, on_pause_over, c, NULL);
        g_source_attach(c->parked, g_main_context_get_thread_default());
        return TRUE;
    default: err = -ENOTTY; break;
    }
    if (err != 0) *result = err;
    return FALSE;
}

static gboolean on_ioctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, gpointer data) {
    (void)handler;
    UsbfsBus* bus = data;
    g_mutex_lock(&bus->lock);
    Client* c = client_of(bus, client);
    long result = -ENODEV;
    gboolean answered = c != NULL && handle(bus, c, client, &result);
    g_mutex_unlock(&bus->lock);
    if (!answered) {
        if (result < 0)
            umockdev_ioctl_client_complete(client, -1, (int)-result);
        else
            umockdev_ioctl_client_complete(client, result, 0);
    }
    return TRUE;
}

UsbfsBus* usbfs_bus_new(UMockdevTestbed* testbed, const char* location, const char* sock_path) {
    unsigned busnum = 0, port = 0;
    char tail = 0;
    if (sscanf(location, "%u-%u%c", &busnum, &port, &tail) != 2 || busnum == 0 || busnum > 127 || port == 0 ||
        port > 31)
        return NULL;
    UsbfsBus* bus = g_new0(UsbfsBus, 1);
    g_mutex_init(&bus->lock);
    bus->testbed = g_object_ref(testbed);
    bus->location = g_strdup(location);
    bus->busnum = busnum;
    bus->port = port;
    bus->sock_path = g_strdup(sock_path);
    bus->plugs = g_ptr_array_new();
    bus->clients = g_hash_table_new_full(g_direct_hash, g_direct_equal, NULL, client_free);
    bus->next_devnum = 2; /* 1 is the root hub's */
    bus->handler = umockdev_ioctl_base_new();
    g_signal_connect(bus->handler, "handle-ioctl", G_CALLBACK(on_ioctl), bus);
    g_signal_connect(bus->handler, "client-connected", G_CALLBACK(on_client_connected), bus);
    return bus;
}

static char* describe(UsbfsBus* bus, Plug* p) {
    const unsigned b = bus->busnum, d = p->devnum;
    return g_strdup_printf(
        "P: %s\n"
        "N: bus/usb/%03u/%03u=%s\n"
        "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
        "E: DEVNAME=/dev/bus/usb/%03u/%03u\nE: BUSNUM=%03u\nE: DEVNUM=%03u\n"
        "E: PRODUCT=5a4d/5d/100\nE: TYPE=0/0/0\n"
        "A: busnum=%u\\n\nA: devnum=%u\\n\nA: devpath=%u\\n\nA: dev=%u:%u\\n\n"
        "A: idVendor=5a4d\\n\nA: idProduct=005d\\n\nA: bcdDevice=0100\\n\nA: bDeviceClass=00\\n\n"
        "A: bMaxPacketSize0=64\\n\nA: bNumConfigurations=1\\n\nA: bConfigurationValue=1\\n\n"
        "A: bNumInterfaces= 1\\n\nA: speed=480\\n\nA: maxchild=0\\n\n"
        "H: descriptors=%s\n"
        "\n"
        "P: %s/%s:1.0\n"
        "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nE: INTERFACE=255/0/0\nE: PRODUCT=5a4d/5d/100\n"
        "A: bInterfaceNumber=00\\n\nA: bAlternateSetting= 0\\n\nA: bInterfaceClass=ff\\n\n"
        "A: bInterfaceSubClass=00\\n\nA: bInterfaceProtocol=00\\n\nA: bNumEndpoints=02\\n\n",
        p->syspath + strlen("/sys"), b, d, kDescriptorsHex, b, d, b, d, b, d, bus->port, kUsbDeviceMajor,
        (b - 1) * 128 + d - 1, kDescriptorsHex, p->syspath + strlen("/sys"), bus->location);
}

static void plug_in(UsbfsBus* bus) {
    Plug* p = g_new0(Plug, 1);
    p->devnum = bus->next_devnum++;
    p->devnode = g_strdup_printf("/dev/bus/usb/%03u/%03u", bus->busnum, p->devnum);
    p->syspath = g_strdup_printf("/sys/devices/pci0000:00/0000:00:14.0/usb%u/%s", bus->busnum, bus->location);
    p->bulk_fd = -1;
    g_autoptr(GError) error = NULL;
    /* The handler first, so that a client woken by the add event finds it. */
    if (!umockdev_testbed_attach_ioctl(bus->testbed, p->devnode, bus->handler, &error))
        g_error("cannot attach to %s: %s", p->devnode, error->message);
    g_autofree char* record = describe(bus, p);
    g_mutex_lock(&bus->lock);
    g_ptr_array_add(bus->plugs, p);
    g_mutex_unlock(&bus->lock);
    if (!umockdev_testbed_add_from_string(bus->testbed, record, &error))
        g_error("cannot add the hub: %s", error->message);
    show_driver(bus, p, bus->exclusive);
    /* Whether adding sent an event, and whether before the interface's
     * records, depends on umockdev's version: one more now that everything
     * is in place (libusb ignores a device it already lists). */
    umockdev_testbed_uevent(bus->testbed, p->syspath, "add");
}

static void unplug(UsbfsBus* bus, Plug* p) {
    g_mutex_lock(&bus->lock);
    mark_gone(bus, p);
    g_mutex_unlock(&bus->lock);
    /* The event is built from the device's records: send it before they go. */
    umockdev_testbed_uevent(bus->testbed, p->syspath, "remove");
    g_mutex_lock(&bus->lock);
    show_driver(bus, p, FALSE);
    p->removed = TRUE;
    g_mutex_unlock(&bus->lock);
    umockdev_testbed_remove_device(bus->testbed, p->syspath);
    /* umockdev leaves the /sys/bus links, which the next appearance makes anew */
    g_autofree char* root = umockdev_testbed_get_root_dir(bus->testbed);
    for (int i = 0; i < 2; ++i) {
        g_autofree char* link = g_strdup_printf("%s/sys/bus/usb/devices/%s%s", root, bus->location, i ? ":1.0" : "");
        unlink(link);
    }
}

void usbfs_bus_sync(UsbfsBus* bus, gboolean present, gboolean exclusive) {
    g_mutex_lock(&bus->lock);
    /* A closed descriptor (a program that ended holding the hub, too) gives
     * its claim back. umockdev tells of it by the client's state only. */
    GHashTableIter it;
    gpointer client;
    g_hash_table_iter_init(&it, bus->clients);
    while (g_hash_table_iter_next(&it, &client, NULL))
        if (!umockdev_ioctl_client_get_connected(client)) g_hash_table_iter_remove(&it);
    Plug* p = live_plug(bus);
    const gboolean lost = p != NULL && p->gone;
    if (p != NULL && exclusive != bus->exclusive) show_driver(bus, p, exclusive || p->owner != NULL);
    bus->exclusive = exclusive;
    g_mutex_unlock(&bus->lock);
    if (p != NULL && (!present || lost)) {
        unplug(bus, p);
        p = NULL;
    }
    if (p == NULL && present) plug_in(bus);
}
