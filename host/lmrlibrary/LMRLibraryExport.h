#pragma once
#define LMRLIBRARY_EXPORT __attribute__((visibility("default")))
