// The texts the list and the reports show for the result codes.
#pragma once

#include <string>

#include "model/CameraOutcome.h"
#include "model/ResultCode.h"

// The list text of a final result or a progress state in the interface
// language. NotFoundInTime reads "Not found in time"; NotFoundWithinText
// names the time.
std::string ResultCodeToText(UpgradeResult result);
std::string ResultCodeToText(UpgradeProgress state);
// "Not found within 10m": the text of code 34 with the waiting time as the
// technician gave it ("" gives the text without it).
std::string NotFoundWithinText(const std::string& waitText);
// Why a camera with this final code failed, as a sentence in the interface
// language; "" for codes that are no failure.
std::string ResultReasonText(UpgradeResult code);
// The words of every number from -1 to 34, in the interface language now,
// for the reports ("" for a number that names no result or state).
ResultWords CurrentResultWords();
// One camera's result and reason in words (see CameraOutcome.h), for a
// view that shows a camera at a time.
std::string OutcomeText(const CameraOutcome& outcome);
std::string OutcomeReason(const CameraOutcome& outcome);
