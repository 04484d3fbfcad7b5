// A tiny stand-in for a database client library, built in several variants to show how the
// binding reads what a library exports. It exports the entry points every client must have
// as stubs, plus, by variant:
//   FAKE_V6              isc_rollback_retaining and the version 6 entry points
//   FAKE_REPORTS_VERSION isc_get_client_version and friends (reports 7.4)
//   FAKE_FB_INTERPRET    fb_interpret
//   FAKE_LACKS_PREPARE   no isc_dsql_prepare (a required entry point)
// isc_sqlcode, isc_sql_interprete and the interpreters give canned texts; isc_vax_integer
// calls a probe the test sets, so a test can look at the binding while a call runs.
#include <cstdio>
#include <cstring>
#include <cstdint>

using Status = intptr_t;

extern "C" {

static void (*Probe)() = nullptr;
__attribute__((visibility("default"))) void fake_set_probe(void (*P)()) { Probe = P; }

#define STUB(name) __attribute__((visibility("default"))) int name() { return 0; }
STUB(isc_attach_database)
STUB(isc_array_get_slice)
STUB(isc_array_lookup_bounds)
STUB(isc_array_put_slice)
STUB(isc_blob_info)
STUB(isc_cancel_blob)
STUB(isc_cancel_events)
STUB(isc_que_events)
STUB(isc_wait_for_event)
STUB(isc_close_blob)
STUB(isc_create_blob2)
STUB(isc_commit_retaining)
STUB(isc_commit_transaction)
STUB(isc_transaction_info)
STUB(isc_database_info)
STUB(isc_decode_date)
STUB(isc_detach_database)
STUB(isc_drop_database)
STUB(isc_dsql_alloc_statement2)
STUB(isc_dsql_describe)
STUB(isc_dsql_describe_bind)
STUB(isc_dsql_execute)
STUB(isc_dsql_execute2)
STUB(isc_dsql_execute_immediate)
STUB(isc_dsql_exec_immed2)
STUB(isc_dsql_fetch)
STUB(isc_dsql_free_statement)
#ifndef FAKE_LACKS_PREPARE
STUB(isc_dsql_prepare)
#endif
STUB(isc_dsql_set_cursor_name)
STUB(isc_dsql_sql_info)
STUB(isc_encode_date)
STUB(isc_event_block)
STUB(isc_event_counts)
STUB(isc_free)
STUB(isc_get_segment)
STUB(isc_put_segment)
STUB(isc_open_blob2)
STUB(isc_prepare_transaction2)
STUB(isc_rollback_transaction)
STUB(isc_start_multiple)
STUB(isc_prepare_transaction)
STUB(BLOB_put)
STUB(BLOB_get)
#ifdef FAKE_V6
STUB(isc_rollback_retaining)
STUB(isc_service_attach)
STUB(isc_service_detach)
STUB(isc_service_query)
STUB(isc_service_start)
STUB(isc_decode_sql_date)
STUB(isc_decode_sql_time)
STUB(isc_decode_timestamp)
STUB(isc_encode_sql_date)
STUB(isc_encode_sql_time)
STUB(isc_encode_timestamp)
STUB(isc_portable_integer)
#endif
#ifdef FAKE_REPORTS_VERSION
__attribute__((visibility("default"))) void isc_get_client_version(char* Buffer) { std::strcpy(Buffer, "fake 7.4"); }
__attribute__((visibility("default"))) int isc_get_client_major_version() { return 7; }
__attribute__((visibility("default"))) int isc_get_client_minor_version() { return 4; }
#endif

__attribute__((visibility("default"))) int isc_vax_integer(const char*, short) {
    if (Probe) Probe();
    return 0;
}

__attribute__((visibility("default"))) int isc_sqlcode(const Status* Vector) {
    return Vector[1] != 0 ? -902 : 0;
}

__attribute__((visibility("default"))) void isc_sql_interprete(short SqlCode, char* Buffer, short Length) {
    std::snprintf(Buffer, static_cast<size_t>(Length), "fake sql\\n message %d", SqlCode);
}

// One message per error code of the vector: "<interpreter> says <code>".
static int InterpretNext(const char* Who, char* Buffer, unsigned Length, const Status** Vector) {
    const Status* v = *Vector;
    while (v[0] != 0 && v[0] != 1) v += 2;
    if (v[0] == 0) return 0;
    int n = std::snprintf(Buffer, Length, "%s says %ld", Who, static_cast<long>(v[1]));
    *Vector = v + 2;
    return n;
}

__attribute__((visibility("default"))) int isc_interprete(char* Buffer, Status** Vector) {
    return InterpretNext("isc_interprete", Buffer, 512, const_cast<const Status**>(Vector));
}

#ifdef FAKE_FB_INTERPRET
__attribute__((visibility("default"))) int fb_interpret(char* Buffer, unsigned Length, const Status** Vector) {
    return InterpretNext("fb_interpret", Buffer, Length, Vector);
}
#endif

} // extern "C"
