// The texts the list and the reports show for the result codes.
#pragma once

#include <string>

#include "model/CameraOutcome.h"
#include "model/ResultCode.h"

// The list text of a result code in the interface language. False (and an
// empty text) for codes without a text: 13, 14, 20, 21 and above 34.
// Code 34 reads "Not found in time"; NotFoundWithinText names the time.
bool ResultCodeToText(int code, std::string& text);
std::string ResultCodeToText(int code);
// "Not found within 10m": the text of code 34 with the waiting time as the
// technician gave it ("" gives the text without it).
std::string NotFoundWithinText(const std::string& waitText);
// Why a camera with this final code failed, as a sentence in the interface
// language; "" for codes that are no failure.
std::string ResultReasonText(int code);
// The words of every code, in the interface language now, for the reports.
ResultWords CurrentResultWords();
// One camera's result and reason in words (see CameraOutcome.h), for a
// view that shows a camera at a time.
std::string OutcomeText(const CameraOutcome& outcome);
std::string OutcomeReason(const CameraOutcome& outcome);
