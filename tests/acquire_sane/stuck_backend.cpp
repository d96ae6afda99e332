// A SANE backend that stops answering, as a scanner's driver may: "stuck:read" never comes back
// from a read, "stuck:cancel" fails its read and then never comes back from cancel (before a scan,
// cancel has nothing to stop and comes back). The SANE loader finds it through LD_LIBRARY_PATH as
// libsane-stuck.so.1 when dll.conf names "stuck".
#include <sane/sane.h>

#include <cstring>
#include <unistd.h>

namespace {

enum class Kind { Read, Cancel };
Kind g_kind = Kind::Read;
bool g_reading = false; // a scan has begun to read
int g_handle = 1;

const SANE_Device kRead{"read", "Stuck", "reader", "virtual device"};
const SANE_Device kCancel{"cancel", "Stuck", "canceller", "virtual device"};
const SANE_Device* kDevices[] = {&kRead, &kCancel, nullptr};

SANE_Option_Descriptor g_count{"", "Number of options", "", SANE_TYPE_INT,
                               SANE_UNIT_NONE, sizeof(SANE_Word), SANE_CAP_SOFT_DETECT, SANE_CONSTRAINT_NONE, {nullptr}};

[[noreturn]] void hang()
{
    for (;;) ::pause();
}

} // namespace

extern "C" {

SANE_Status sane_stuck_init(SANE_Int* version, SANE_Auth_Callback)
{
    if (version) *version = SANE_VERSION_CODE(1, 0, 0);
    return SANE_STATUS_GOOD;
}
void sane_stuck_exit() {}
SANE_Status sane_stuck_get_devices(const SANE_Device*** list, SANE_Bool)
{
    *list = kDevices;
    return SANE_STATUS_GOOD;
}
SANE_Status sane_stuck_open(SANE_String_Const name, SANE_Handle* h)
{
    if (std::strcmp(name, "cancel") == 0)
        g_kind = Kind::Cancel;
    else if (std::strcmp(name, "read") == 0 || !*name)
        g_kind = Kind::Read;
    else
        return SANE_STATUS_INVAL;
    *h = &g_handle;
    return SANE_STATUS_GOOD;
}
void sane_stuck_close(SANE_Handle) {}
const SANE_Option_Descriptor* sane_stuck_get_option_descriptor(SANE_Handle, SANE_Int n)
{
    return n == 0 ? &g_count : nullptr;
}
SANE_Status sane_stuck_control_option(SANE_Handle, SANE_Int n, SANE_Action action, void* value, SANE_Int* info)
{
    if (info) *info = 0;
    if (n != 0 || action != SANE_ACTION_GET_VALUE) return SANE_STATUS_INVAL;
    *static_cast<SANE_Word*>(value) = 1;
    return SANE_STATUS_GOOD;
}
SANE_Status sane_stuck_get_parameters(SANE_Handle, SANE_Parameters* p)
{
    *p = {SANE_FRAME_GRAY, SANE_TRUE, 10, 10, 10, 8};
    return SANE_STATUS_GOOD;
}
SANE_Status sane_stuck_start(SANE_Handle) { return SANE_STATUS_GOOD; }
SANE_Status sane_stuck_read(SANE_Handle, SANE_Byte*, SANE_Int, SANE_Int* length)
{
    *length = 0;
    g_reading = true;
    if (g_kind == Kind::Cancel) return SANE_STATUS_IO_ERROR;
    hang();
}
void sane_stuck_cancel(SANE_Handle)
{
    if (g_kind == Kind::Cancel && g_reading) hang();
}
SANE_Status sane_stuck_set_io_mode(SANE_Handle, SANE_Bool) { return SANE_STATUS_UNSUPPORTED; }
SANE_Status sane_stuck_get_select_fd(SANE_Handle, SANE_Int*) { return SANE_STATUS_UNSUPPORTED; }

} // extern "C"
