// The files a front-end reads and writes around a run, as the core keeps
// them: the state folders and file helpers, the runs' journals, the report
// writer (format by the file's name) and a package file's digest.
#pragma once

#include "device/Digest.h"
#include "platform/Paths.h"
#include "upgrade/BatchReport.h"
#include "upgrade/RunJournal.h"
