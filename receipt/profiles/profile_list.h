#pragma once

#include "receipt/printer_profile.h"

// One profile a file; printer_profile.cpp lists them in the order shown.
namespace ostrel::receipt::profiles {

// The standard command set's page numbers, the generic printer's.
const std::map<int, std::string>& StandardCodePages();
// Epson's character table numbers, shared by its models.
const std::map<int, std::string>& EpsonCodePages();
// Star's own page numbers, in Star Line mode and StarPRNT.
const std::map<int, std::string>& StarCodePages();

extern const PrinterProfile kGeneric;
extern const PrinterProfile kEpsonTmT88vi;
extern const PrinterProfile kEpsonTmP20ii;
extern const PrinterProfile kCitizenCtS310ii;
extern const PrinterProfile kBixolonSrp350iii;
extern const PrinterProfile kStarTsp650ii;
extern const PrinterProfile kXprinterXpN160ii;
extern const PrinterProfile kPos5890;
extern const PrinterProfile kSunmi;
extern const PrinterProfile kHpA779;
extern const PrinterProfile kFujitsuFp1000;
extern const PrinterProfile kLogPrinter;
extern const PrinterProfile kStarTsp650iiLine;
extern const PrinterProfile kStarTsp100iv;
extern const PrinterProfile kStarMcPrint2;

} // namespace ostrel::receipt::profiles
