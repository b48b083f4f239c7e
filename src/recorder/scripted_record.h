// The scripted mode: quillon --record SECONDS [--trim] [--normalize]
// OUTPUT.flac.
#pragma once

struct TCommandLine;

// Exit codes.
constexpr int CExitOk = 0;
constexpr int CExitUsage = 1;
constexpr int CExitSound = 2;
constexpr int CExitOutput = 3;

// Records, edits and writes as the command line says; prints the summary line
// to standard output and any failure to standard error. Returns the exit code.
int RunScriptedRecord(const TCommandLine& ACmd);
