// Resource numbering of the stand-in Language DLL: text and dialog N of English have id N;
// German ones have id N + 10000 (a German dialog falls back to the English template).
#pragma once
#define LANG_GERMAN_OFFSET 10000
