"""Loads libfautil.so.1 and declares the C functions of fautil/fautil_c.h."""

import ctypes
import os

SONAME = "libfautil.so.1"

c_char_p = ctypes.c_char_p
c_void_p = ctypes.c_void_p
P = ctypes.POINTER


class Int:
    """An integer parameter of a given C width. ctypes would wrap a value
    outside it silently (a count of -1 becoming 65535); these refuse it."""

    def __init__(self, ctype, low, high):
        self.ctype, self.low, self.high = ctype, low, high

    def check(self, value, routine, position):
        if not isinstance(value, int):
            raise TypeError(f"{routine}: argument {position} must be an int, "
                            f"not {type(value).__name__}")
        if not self.low <= value <= self.high:
            raise ValueError(f"{routine}: argument {position} is {value}, "
                             f"outside {self.low}..{self.high}")


i32 = Int(ctypes.c_int32, -2 ** 31, 2 ** 31 - 1)
u8 = Int(ctypes.c_uint8, 0, 2 ** 8 - 1)
u16 = Int(ctypes.c_uint16, 0, 2 ** 16 - 1)
u32 = Int(ctypes.c_uint32, 0, 2 ** 32 - 1)

LINE_FN = ctypes.CFUNCTYPE(None, c_void_p, c_char_p)
WRITE_FN = ctypes.CFUNCTYPE(ctypes.c_int32, c_void_p, P(ctypes.c_uint8), ctypes.c_uint32)


def _candidates():
    """Where the library may be, in the order it is looked for."""
    explicit = os.environ.get("FAUTIL_LIBRARY")
    if explicit:
        # Named by the caller: that one or none, never a stray other copy.
        return [explicit]
    here = os.path.dirname(os.path.abspath(__file__))
    # Installed as the Debian packages lay it out (<prefix>/lib/python3/
    # dist-packages/fautil beside <prefix>/lib/libfautil.so.1): the library
    # of the same installation, even in a root unpacked elsewhere.
    installed = os.path.join(here, os.pardir, os.pardir, os.pardir, SONAME)
    found = [os.path.normpath(installed)] if os.path.exists(installed) else []
    # The bare SONAME is looked up as the dynamic loader does: LD_LIBRARY_PATH,
    # then the system's library folders.
    return [os.path.join(here, SONAME)] + found + [SONAME]


def _load():
    errors = []
    for path in _candidates():
        if os.sep in path and not os.path.exists(path):
            errors.append(f"{path}: no such file")
            continue
        try:
            return ctypes.CDLL(path)
        except OSError as error:
            errors.append(str(error))
    raise ImportError("fautil: cannot load the shared library " + SONAME +
                      " (set FAUTIL_LIBRARY to its path): " + "; ".join(errors))


lib = _load()

_P8, _P16, _P32, _PI32 = (P(ctypes.c_uint8), P(ctypes.c_uint16), P(ctypes.c_uint32),
                          P(ctypes.c_int32))
_TEXT_TO_PAIR = [c_char_p, _P8, _P32]
_CODE_TO_PAIR = [u16, _P8, _P32]
_PAIR_TO_CODE = [u8, u32, _P16]
_TEXT_TO_CODE = [c_char_p, _P16]
_CODE_TO_TEXT = [c_void_p, u16]
_FIELD = [c_void_p, u32, _PI32]

_PROTOTYPES = {
    "Version": (c_char_p, []),
    "StrToType": (i32, _TEXT_TO_PAIR),
    "TypeToStr": (i32, [c_void_p, u8, u32]),
    "StrNormalize": (i32, [c_void_p, c_char_p]),
    "TypeToDType": (i32, [_P8, _P32]),
    "CheckTypeRange": (i32, [_P8, _P32]),
    "GetTableMaxSize": (i32, [c_char_p, i32]),
    "CheckTableRange": (i32, [c_char_p, i32, i32]),
    "RefStrRangeToStr": (i32, [c_char_p, LINE_FN, c_void_p]),
    "GetNextRef": (i32, [c_char_p, c_void_p, i32]),
    "DocRefToType": (i32, _CODE_TO_PAIR),
    "TypeToDocRef": (i32, _PAIR_TO_CODE),
    "StrToDocRef": (i32, _TEXT_TO_CODE),
    "DocRefToStr": (i32, _CODE_TO_TEXT),
    "DRefToType": (i32, _CODE_TO_PAIR),
    "TypeToDRef": (i32, _PAIR_TO_CODE),
    "StrToDRef": (i32, _TEXT_TO_CODE),
    "DRefToStr": (i32, _CODE_TO_TEXT),
    "RRefToType": (i32, _CODE_TO_PAIR),
    "TypeToRRef": (i32, _PAIR_TO_CODE),
    "StrToRRef": (i32, _TEXT_TO_CODE),
    "RRefToStr": (i32, _CODE_TO_TEXT),
    "RegRefToType": (i32, _CODE_TO_PAIR),
    "TypeToRegRef": (i32, _PAIR_TO_CODE),
    "FlashRegStrToRef": (i32, _TEXT_TO_CODE),
    "FlashRegRefToStr": (i32, _CODE_TO_TEXT),
    "LinkStrToType": (i32, _TEXT_TO_PAIR),
    "TypeToLinkStrVer": (i32, [c_void_p, u8, u32, u16]),
    "LinkStrV40ChgOnOff": (i32, [c_void_p]),
    "ULinkStrToType": (i32, _TEXT_TO_PAIR),
    "TypeToULinkStr": (i32, [c_void_p, u8, u32]),
    "TypeToLinkMode": (u8, [u8]),
    "LinkModeToType": (u8, [u8]),
    "StrToChar": (u8, [ctypes.c_char]),
    "StrToByte": (i32, [c_char_p, _P8]),
    "StrToWord": (i32, [c_char_p, _P16]),
    "StrToDWord": (i32, [c_char_p, _P32]),
    "StrToHex": (i32, [c_char_p, _P8]),
    "StrToBMem": (i32, [c_char_p, c_void_p, u16]),
    "StrToWMem": (i32, [c_char_p, c_void_p, u16]),
    "ByteToStr": (i32, [c_void_p, u8]),
    "WordToStr": (i32, [c_void_p, u16]),
    "BMemToStr": (i32, [c_void_p, c_void_p, u16]),
    "WMemToStr": (i32, [c_void_p, c_void_p, u16]),
    "RegBinToWord": (i32, [c_void_p, u16, _P16]),
    "RegDisToWord": (i32, [c_void_p, u16, _P16]),
    "RegBinToDWord": (i32, [c_void_p, _P32]),
    "WordToRegBin": (i32, [c_void_p, u16, u16]),
    "WordToRegDis": (i32, [c_void_p, u16, u16]),
    "WordToFmtStr": (i32, [c_void_p, u16, u16]),
    "DWordToFmtStr": (i32, [c_void_p, u32, u16]),
    "MemDump": (i32, [c_void_p, i32, LINE_FN, c_void_p]),
    "WordMemDump": (i32, [c_void_p, i32, LINE_FN, c_void_p]),
    "TextToMem": (i32, [P(c_char_p), i32, c_void_p, i32]),
    "UStrToMem": (i32, [c_char_p, c_void_p, i32]),
    "UTextToMem": (i32, [P(c_char_p), i32, c_void_p, i32]),
    "CRC16": (u16, [c_void_p, u32, u16]),
    "FD2WriteFileTag": (i32, [WRITE_FN, c_void_p, u16]),
    "FD2CheckFileTag": (i32, [c_void_p, u16]),
    "FD2WriteNodeEx": (i32, [WRITE_FN, c_void_p, u32, u32, c_void_p]),
    "FD2WriteEOF": (i32, [WRITE_FN, c_void_p]),
    "FD2CheckNodeEx": (i32, [u32, u32, c_void_p]),
    "FD2NodeSetByte": (i32, _FIELD + [u8]),
    "FD2NodeSetWord": (i32, _FIELD + [u16]),
    "FD2NodeSetDWord": (i32, _FIELD + [u32]),
    "FD2NodeSetAnsiString": (i32, _FIELD + [c_char_p]),
    "FD2NodeSetCRC16": (i32, _FIELD),
    "FD2NodeGetByte": (i32, _FIELD + [_P8]),
    "FD2NodeGetWord": (i32, _FIELD + [_P16]),
    "FD2NodeGetDWord": (i32, _FIELD + [_P32]),
    "FD2NodeGetAnsiString": (i32, _FIELD + [c_void_p, u32]),
    "TelphoneToReg": (i32, [c_char_p, c_void_p]),
    "RegToTelphone": (i32, [c_void_p, c_void_p]),
    "DecomposeStr": (i32, [c_char_p, c_void_p, c_void_p]),
    "SetDecomposeCodePage": (i32, [i32]),
    "DoubleByteCodePageOfLocale": (i32, [c_char_p]),
    "LadderMask": (i32, [c_void_p]),
    "LadderUnMask": (i32, [c_void_p]),
    "Randomize": (i32, [c_void_p, i32]),
    "ShiftKey": (i32, [c_void_p, u32, _P16]),
}

def _ctype(declared):
    return declared.ctype if isinstance(declared, Int) else declared


def _bind(name, result, arguments):
    try:
        function = getattr(lib, "fautil_" + name)
    except AttributeError:
        raise ImportError(f"fautil: {lib._name} has no fautil_{name}; it is older than "
                          "this package, which needs the library of its own version "
                          "or a later one") from None
    function.restype = _ctype(result)
    function.argtypes = [_ctype(a) for a in arguments]
    checks = [(i, a) for i, a in enumerate(arguments) if isinstance(a, Int)]
    if not checks:
        return function

    def call(*values):
        for i, declared in checks:
            declared.check(values[i], name, i + 1)
        return function(*values)

    call.__name__ = name
    return call


for _name, (_result, _arguments) in _PROTOTYPES.items():
    globals()[_name] = _bind(_name, _result, _arguments)
