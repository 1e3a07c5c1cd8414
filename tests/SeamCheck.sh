#!/usr/bin/env bash
# Every file-system call of the store goes through the Env seam, where tests
# can fail it and where paths are reached beneath the opened project. This
# fails when a source outside the files listed here calls the system's file
# functions directly; each listed file says why it may.
set -euo pipefail
cd "$(dirname "$0")/.."
allowed=(
  siblings/platform/PosixEnv.cpp       # the seam itself
  siblings/platform/StoreRoot.cpp      # the seam: entries reached beneath the opened roots
  siblings/platform/ShareMode.cpp      # the seam: share-mode opens and in-use probes
  siblings/platform/Descriptor.cpp     # checks on descriptors the seam has opened
  siblings/platform/FileApi.cpp        # writes through a handle the seam has opened
  siblings/platform/AppendLog.cpp      # the station's logs: the station directory, not a store
  siblings/platform/StationDir.cpp     # the station directory's own owner and mode
  siblings/platform/StationSetUp.cpp   # the station files made and given their owner and mode by the administrator
  siblings/platform/RegistryStore.cpp  # the registry database file, which SQLite then opens
  siblings/platform/UserTemplate.cpp   # the user template set: the station directory's, owner and mode checked
  siblings/platform/PrivateFile.cpp    # the user's own key files, outside any store and station: owner and mode
  siblings/libqveeda/QVEFilePath.cpp   # /proc/self/exe, to find the installed templates
  src/RcpBuilder/RcpArchive/RcpArchive.cpp  # syncfs of an import's finished build
  tools/rcpstore/BatchCommand.cpp      # the batch file the user names
  src/RcpBuilder/LibQVBRcpEpa/RcpTarget.cpp  # the user's own paths: the working directory, registered directories
)
calls='open|openat|openat2|creat|stat|lstat|fstatat|statx|unlink|unlinkat|rename|renameat|renameat2|mkdir|mkdirat'
calls+='|rmdir|opendir|fopen|chmod|fchmod|chown|link|linkat|symlink|readlink|truncate|ftruncate|access|realpath'
calls+='|syncfs|getdents64'
pattern="(^|[^A-Za-z0-9_.>:])(::)?($calls)\(|std::filesystem::[a-z_]+\(|std::[io]?fstream"
exclude=()
for file in "${allowed[@]}"; do exclude+=(":!$file"); done
found=$(git grep -nE "$pattern" -- 'src/*.cpp' 'src/*.h' 'siblings/*.cpp' 'siblings/*.h' 'tools/*.cpp' 'tools/*.h' \
  'include/*.h' "${exclude[@]}" | grep -vE '^[^:]+:[0-9]+:\s*//' || true)
if [ -n "$found" ]; then
  echo "File-system calls outside the Env seam:"
  echo "$found"
  exit 1
fi
