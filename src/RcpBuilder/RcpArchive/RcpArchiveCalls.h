// The archive library's calls, loaded from the system's shared library when
// an export or import first needs them: every other command starts without
// it and the libraries it pulls in (compressors, XML, character sets).
#pragma once

#include <archive.h>
#include <archive_entry.h>

namespace rcpstore::archivecalls {

// The calls export and import make, by name.
#define RCP_ARCHIVE_CALLS(X)                                                                                 \
  X(archive_entry_filetype) X(archive_entry_free) X(archive_entry_hardlink) X(archive_entry_new)             \
  X(archive_entry_pathname) X(archive_entry_set_filetype) X(archive_entry_set_mtime)                         \
  X(archive_entry_set_pathname) X(archive_entry_set_perm) X(archive_entry_set_size) X(archive_entry_size)    \
  X(archive_entry_symlink) X(archive_error_string) X(archive_free) X(archive_read_data) X(archive_read_new) \
  X(archive_read_next_header) X(archive_read_open_fd) X(archive_read_open_filename)                          \
  X(archive_read_support_filter_all) X(archive_read_support_format_tar) X(archive_set_error)                 \
  X(archive_write_add_filter_gzip) X(archive_write_close) X(archive_write_data) X(archive_write_header)      \
  X(archive_write_new) X(archive_write_open) X(archive_write_set_bytes_in_last_block)                        \
  X(archive_write_set_format_pax_restricted)

struct Calls {
#define RCP_ARCHIVE_POINTER(name) decltype(&::name) name;
  RCP_ARCHIVE_CALLS(RCP_ARCHIVE_POINTER)
#undef RCP_ARCHIVE_POINTER
};

// The calls, the library loaded on first use; fails (ERROR_NOT_SUPPORTED)
// when it or one of its calls is missing.
const Calls& Archive();

}  // namespace rcpstore::archivecalls
