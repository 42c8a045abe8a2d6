// The INI profile store (WritePrivateProfileStringW / GetPrivateProfileStringW semantics).
#pragma once
