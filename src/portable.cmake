# The logic that needs no Win32: these files never include windows.h, so the
# host build (host/) compiles the very same sources for sanitizers and fuzzers.
set(QUENDIX_PORTABLE_SOURCES
  app/CommandLine.cpp
  app/HandOver.cpp
  engine/ByteSource.cpp
  engine/IoError.cpp
  engine/LineReader.cpp
  engine/LineWriter.cpp
  engine/ProgressFile.cpp
  scan/ScanSettings.cpp
  scan/RequestFile.cpp
  info/InfoLabels.cpp
  info/VirusListFill.cpp
  scan/ResultsFile.cpp
  scan/ResultsTexts.cpp
  ui/TextFit.cpp
)
list(TRANSFORM QUENDIX_PORTABLE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/)
