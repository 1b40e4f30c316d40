"""The KV-37 device data library (libfautil.so.1) for Python.

Operand notation, packed reference codes, link strings, number and dump text,
the tagged data file, telephone registers, string decomposition and ladder
masking, with the behaviour of the C++ library: this package only converts
arguments and results.

Conventions:

* Texts are 8-bit: ``str`` arguments are encoded as Latin-1 (each character
  one byte) and ``bytes`` are taken as they are; text results are ``str``.
  A NUL character in a text is a ``ValueError``.
* Byte data goes in and out as ``bytes`` (``bytearray`` is accepted), word
  data as sequences of ints. A number outside its C type (a count of -1, a
  byte of 300) is a ``ValueError``, never wrapped round.
* A routine that fails raises :class:`FautilError` naming the routine; one
  that answers a question (``fd2_check_file_tag``, ``fd2_check_node_ex``)
  returns a bool.
* An operand is an :class:`Operand`: an 8-bit type code and a 32-bit address.

The library is ``FAUTIL_LIBRARY`` when that is set, else the
``libfautil.so.1`` next to this package, else the one of the same
installation (``/usr/lib`` for ``/usr/lib/python3/dist-packages``, as the
Debian packages lay them out), else the one on the system's library path.
``__version__`` is the library version the package belongs to.
"""

import ctypes
import enum
from typing import Iterable, List, NamedTuple, Optional, Sequence, Tuple, Union

from . import _native as _c
from ._version import __version__

__all__ = [
    "FautilError", "Operand", "ShiftMember", "version", "__version__",
    "str_to_type", "type_to_str", "str_normalize", "type_to_dtype", "check_type_range",
    "get_table_max_size", "check_table_range", "ref_str_range_to_str", "get_next_ref",
    "doc_ref_to_type", "type_to_doc_ref", "str_to_doc_ref", "doc_ref_to_str",
    "d_ref_to_type", "type_to_d_ref", "str_to_d_ref", "d_ref_to_str",
    "r_ref_to_type", "type_to_r_ref", "str_to_r_ref", "r_ref_to_str",
    "reg_ref_to_type", "type_to_reg_ref", "flash_reg_str_to_ref", "flash_reg_ref_to_str",
    "link_str_to_type", "type_to_link_str_ver", "link_str_v40_chg_on_off",
    "u_link_str_to_type", "type_to_u_link_str", "type_to_link_mode", "link_mode_to_type",
    "str_to_char", "str_to_byte", "str_to_word", "str_to_dword", "str_to_hex",
    "str_to_bmem", "str_to_wmem", "byte_to_str", "word_to_str", "bmem_to_str", "wmem_to_str",
    "reg_bin_to_word", "reg_dis_to_word", "reg_bin_to_dword", "word_to_reg_bin",
    "word_to_reg_dis", "word_to_fmt_str", "dword_to_fmt_str",
    "mem_dump", "word_mem_dump", "text_to_mem", "u_str_to_mem", "u_text_to_mem",
    "crc16", "fd2_write_file_tag", "fd2_check_file_tag", "fd2_write_node_ex",
    "fd2_write_eof", "fd2_check_node_ex",
    "fd2_node_set_byte", "fd2_node_set_word", "fd2_node_set_dword",
    "fd2_node_set_ansi_string", "fd2_node_set_crc16",
    "fd2_node_get_byte", "fd2_node_get_word", "fd2_node_get_dword", "fd2_node_get_ansi_string",
    "telphone_to_reg", "reg_to_telphone", "decompose_str", "set_decompose_code_page",
    "double_byte_code_page_of_locale",
    "ladder_mask", "ladder_un_mask", "randomize", "shift_key",
]

Text = Union[str, bytes, bytearray]
Data = Union[bytes, bytearray, memoryview]

TEXT_ROOM = 32
NO_LINK_MODE = 0xFF
POINT_CELL_COUNT = 4066
FMT_SIGNED, FMT_BINARY, FMT_HEX, FMT_CHARS, FMT_UNSIGNED, FMT_FLOAT = range(6)
MAX_TEXT_LINE = 1023
FILE_FORMAT_VERSION = 11121
FILE_TAG_SIZE = 256
NODE_CRC_FLAG = 0x80000000
END_NODE_WORD = 0x00FFFFFF
CRC16_MODBUS = 0xFFFF
CRC16_ARC = 0x0000
TELEPHONE_REGISTERS = 6
LADDER_SIZE = 0x8000
LADDER_KEY_OFFSET = 0x7F00
_ANSI_STRING_ROOM = 65536
_DECOMPOSE_FIRST_SIZE = 10
_TELEPHONE_TEXT_SIZE = 24


class FautilError(Exception):
    """A library routine failed. ``routine`` names it (as in C++), ``result``
    holds its failure result when that says more than false (-1, -2)."""

    def __init__(self, routine: str, detail: str, result: Optional[int] = None):
        super().__init__(f"{routine}: {detail}")
        self.routine = routine
        self.result = result


class Operand(NamedTuple):
    """An operand as the library codes it."""
    type: int
    address: int


class ShiftMember(enum.IntEnum):
    """Members of the keyboard and mouse shift state; member k is bit k."""
    SHIFT = 0
    ALT = 1
    CTRL = 2
    LEFT = 3
    RIGHT = 4
    MIDDLE = 5
    DOUBLE = 6


# ---- conversions -----------------------------------------------------------

def _text(value: Text, what: str = "text") -> bytes:
    if isinstance(value, str):
        data = value.encode("latin-1")
    elif isinstance(value, (bytes, bytearray)):
        data = bytes(value)
    else:
        raise TypeError(f"{what} must be str or bytes, not {type(value).__name__}")
    if b"\0" in data:
        raise ValueError(f"{what} contains a NUL character")
    return data


def _str(data: bytes) -> str:
    return data.decode("latin-1")


def _fail(routine: str, detail: str, result: Optional[int] = None):
    raise FautilError(routine, detail, result)


def _words(values: Sequence[int], count: Optional[int] = None):
    values = list(values)
    array = (ctypes.c_uint16 * max(len(values) if count is None else count, 1))()
    for i, v in enumerate(values):
        _c.u16.check(v, "word list", i + 1)
        array[i] = v
    return array


def _cursor(cursor: int):
    _c.i32.check(cursor, "cursor", 1)
    return ctypes.c_int32(cursor)


def _pair(routine: str, function, first, detail: str) -> Operand:
    type_, address = ctypes.c_uint8(), ctypes.c_uint32()
    if not function(first, ctypes.byref(type_), ctypes.byref(address)):
        _fail(routine, detail)
    return Operand(type_.value, address.value)


def _code(routine: str, function, *arguments, detail: Optional[str] = None) -> int:
    code = ctypes.c_uint16()
    if not function(*arguments, ctypes.byref(code)):
        _fail(routine, detail or f"no code for {arguments!r}")
    return code.value


def _written(routine: str, function, *arguments, room: int = TEXT_ROOM,
             detail: Optional[str] = None) -> str:
    buffer = ctypes.create_string_buffer(room)
    if not function(buffer, *arguments):
        _fail(routine, detail or f"no text for {arguments!r}")
    return _str(buffer.value)


def _lines_out(routine: str, call, detail: str) -> List[str]:
    lines: List[str] = []
    failure = []

    def take(_context, line):
        if failure:
            return
        try:
            lines.append(_str(line))
        except BaseException as error:  # handed back to the caller below
            failure.append(error)

    # Held in a local for the whole call, so the thunk outlives it.
    callback = _c.LINE_FN(take)
    ok = call(callback)
    if failure:
        raise failure[0]
    if not ok:
        _fail(routine, detail)
    return lines


def version() -> str:
    """The library's version as "major.minor.patch"."""
    return _str(_c.Version())


# ---- operand text ----------------------------------------------------------

def str_to_type(text: Text) -> Operand:
    """Parses operand text ("X7", "WM16", "1FH", "'AB'"); letters in either
    case, no white space. Operands and integer constants are range-checked and
    recoded by block; real constants give type 0x02."""
    return _pair("StrToType", _c.StrToType, _text(text), f"not an operand: {text!r}")


def type_to_str(type: int, address: int) -> str:
    """The canonical text of an operand (at most 14 characters). The address
    is written as a signed 32-bit number and not range-checked."""
    return _written("TypeToStr", _c.TypeToStr, type, address)


def str_normalize(text: Text) -> str:
    """The canonical upper-case text of operand text, without leading zeros."""
    return _written("StrNormalize", _c.StrNormalize, _text(text),
                    detail=f"not an operand with a text form: {text!r}")


def type_to_dtype(type: int, address: int) -> Operand:
    """Reserved conversion: returns the operand unchanged."""
    t, a = ctypes.c_uint8(type), ctypes.c_uint32(address)
    _c.TypeToDType(ctypes.byref(t), ctypes.byref(a))
    return Operand(t.value, a.value)


def check_type_range(type: int, address: int) -> Operand:
    """Checks the address for the type code and returns the operand with the
    code recoded by address block (M, C 200-255, R); raises for addresses
    outside the code's range, unknown codes and the real constant 0x02."""
    t, a = ctypes.c_uint8(type), ctypes.c_uint32(address)
    if not _c.CheckTypeRange(ctypes.byref(t), ctypes.byref(a)):
        _fail("CheckTypeRange", f"type 0x{type:02X} does not hold address {address}")
    return Operand(t.value, a.value)


# ---- operand ranges --------------------------------------------------------

def get_table_max_size(start: Text, area_size: int = 0) -> int:
    """Largest number of registers a table starting at `start` may hold; 0
    when the text is invalid or cannot start a table. A positive `area_size`
    makes R5000 to R(4999 + area_size) an area of its own."""
    return _c.GetTableMaxSize(_text(start), area_size)


def check_table_range(start: Text, table_size: int, area_size: int = 0) -> bool:
    """True when a table of `table_size` registers from `start` fits its
    area, False when it runs past it (the routine's -2); raises for an
    invalid start text (-1). Operands that cannot hold a table (X0, say)
    count as fitting, as the routine's 0 says."""
    result = _c.CheckTableRange(_text(start), table_size, area_size)
    if result == -1:
        _fail("CheckTableRange", f"not a valid start: {start!r}", result)
    return result == 0


def ref_str_range_to_str(text: Text) -> List[str]:
    """Expands a reference list ("X0-X3,Y5\\nWX0~WX32") into operand texts."""
    data = _text(text)
    return _lines_out("RefStrRangeToStr",
                      lambda callback: _c.RefStrRangeToStr(data, callback, None),
                      f"not a valid reference list: {text!r}")


def get_next_ref(text: Text, next: bool = True) -> str:
    """The operand after (or before) `text`, wrapping round in its area;
    raises for operands without a stepping ring."""
    data = _text(text)
    return _written("GetNextRef", lambda b: _c.GetNextRef(data, b, 1 if next else 0),
                    detail=f"no operand {'after' if next else 'before'} {text!r}")


# ---- packed reference codes ------------------------------------------------

def _decoder(routine: str, function):
    def decode(code: int) -> Operand:
        return _pair(routine, function, code, f"not a valid code: 0x{code:04X}")
    decode.__name__ = routine
    decode.__doc__ = (f"Decodes a {routine[:-6]} code into an operand, "
                      "checked and recoded by CheckTypeRange.")
    return decode


def _encoder(routine: str, function):
    def encode(type: int, address: int) -> int:
        return _code(routine, function, type, address)
    encode.__name__ = routine
    encode.__doc__ = (f"Encodes an operand as a {routine[6:]} code (16-bit, the "
                      "address not range-checked); raises for type codes it lacks.")
    return encode


def _parser(routine: str, function):
    def parse(text: Text) -> int:
        return _code(routine, function, _text(text), detail=f"no code for {text!r}")
    parse.__name__ = routine
    parse.__doc__ = "Parses operand text into the code."
    return parse


def _printer(routine: str, function):
    def write(code: int) -> str:
        return _written(routine, function, code)
    write.__name__ = routine
    write.__doc__ = "The operand text of a code."
    return write


doc_ref_to_type = _decoder("DocRefToType", _c.DocRefToType)
type_to_doc_ref = _encoder("TypeToDocRef", _c.TypeToDocRef)
str_to_doc_ref = _parser("StrToDocRef", _c.StrToDocRef)
doc_ref_to_str = _printer("DocRefToStr", _c.DocRefToStr)
d_ref_to_type = _decoder("DRefToType", _c.DRefToType)
type_to_d_ref = _encoder("TypeToDRef", _c.TypeToDRef)
str_to_d_ref = _parser("StrToDRef", _c.StrToDRef)
d_ref_to_str = _printer("DRefToStr", _c.DRefToStr)
r_ref_to_type = _decoder("RRefToType", _c.RRefToType)
type_to_r_ref = _encoder("TypeToRRef", _c.TypeToRRef)
str_to_r_ref = _parser("StrToRRef", _c.StrToRRef)
r_ref_to_str = _printer("RRefToStr", _c.RRefToStr)
reg_ref_to_type = _decoder("RegRefToType", _c.RegRefToType)
type_to_reg_ref = _encoder("TypeToRegRef", _c.TypeToRegRef)
flash_reg_str_to_ref = _parser("FlashRegStrToRef", _c.FlashRegStrToRef)
flash_reg_str_to_ref.__doc__ = ("The flash register code of R0-R3839, R4000-R4165, "
                                "R5000-R8071 or D0-D4095 (as 10000-14095).")
flash_reg_ref_to_str = _printer("FlashRegRefToStr", _c.FlashRegRefToStr)
flash_reg_ref_to_str.__doc__ = 'The text ("R%d" or "D%d") of a flash register code.'


# ---- link strings and link modes -------------------------------------------

def link_str_to_type(text: Text) -> Operand:
    """Reads the first five characters of a link string ("X0012", "4000C")."""
    return _pair("LinkStrToType", _c.LinkStrToType, _text(text),
                 f"not a link string: {text!r}")


def type_to_link_str_ver(type: int, address: int, version: int) -> str:
    """The link string of an operand for the peer's `version` (the version-4
    form from 0x0400)."""
    return _written("TypeToLinkStrVer", _c.TypeToLinkStrVer, type, address, version)


def link_str_v40_chg_on_off(text: Text) -> str:
    """The version-4 X, Y, S and M group forms turned into their alternative
    forms; any other text comes back unchanged."""
    buffer = ctypes.create_string_buffer(_text(text))
    _c.LinkStrV40ChgOnOff(buffer)
    return _str(buffer.value)


def u_link_str_to_type(text: Text) -> Operand:
    """Reads one whole U-link item ("RT0005", "DR00010"); no range check."""
    return _pair("ULinkStrToType", _c.ULinkStrToType, _text(text),
                 f"not a U-link string: {text!r}")


def type_to_u_link_str(type: int, address: int) -> str:
    """The U-link string of an operand (two items for T and C registers)."""
    return _written("TypeToULinkStr", _c.TypeToULinkStr, type, address)


def type_to_link_mode(type: int) -> int:
    """The link mode (0-13) of a type code, NO_LINK_MODE (0xFF) for none."""
    return _c.TypeToLinkMode(type)


def link_mode_to_type(mode: int) -> int:
    """The type code of a link mode, 0xFF for modes above 13."""
    return _c.LinkModeToType(mode)


# ---- number and byte-string text -------------------------------------------

def _exactly(text: Text, count: int, routine: str) -> bytes:
    data = _text(text)
    if len(data) < count:
        raise ValueError(f"{routine} reads {count} characters, {text!r} has {len(data)}")
    return data


def str_to_char(c: Text) -> int:
    """The value of one hex digit ('0'-'9', 'A'-'F'); anything else is 0."""
    data = _text(c)
    if len(data) != 1:
        raise ValueError("str_to_char takes one character")
    return _c.StrToChar(data)


def _fixed_reader(routine: str, function, width: int, ctype):
    def read(text: Text) -> int:
        value = ctype()
        function(_exactly(text, width, routine), ctypes.byref(value))
        return value.value
    read.__name__ = routine
    read.__doc__ = (f"Reads exactly {width} hex characters, most significant first; "
                    "characters other than 0-9 and A-F read as 0.")
    return read


str_to_byte = _fixed_reader("StrToByte", _c.StrToByte, 2, ctypes.c_uint8)
str_to_word = _fixed_reader("StrToWord", _c.StrToWord, 4, ctypes.c_uint16)
str_to_dword = _fixed_reader("StrToDWord", _c.StrToDWord, 8, ctypes.c_uint32)


def str_to_hex(text: Text) -> int:
    """Validating parse of 1 or 2 hex digits of either case."""
    value = ctypes.c_uint8()
    if not _c.StrToHex(_text(text), ctypes.byref(value)):
        _fail("StrToHex", f"not 1 or 2 hex digits: {text!r}")
    return value.value


def str_to_bmem(text: Text, count: Optional[int] = None) -> bytes:
    """Reads `count` bytes (all the text holds by default), 2 characters each."""
    data = _text(text)
    count = len(data) // 2 if count is None else count
    data = _exactly(data, 2 * count, "StrToBMem")
    memory = ctypes.create_string_buffer(max(count, 1))
    _c.StrToBMem(data, memory, count)
    return memory.raw[:count]


def str_to_wmem(text: Text, count: Optional[int] = None) -> List[int]:
    """Reads `count` words (all the text holds by default), 4 characters each."""
    data = _text(text)
    count = len(data) // 4 if count is None else count
    data = _exactly(data, 4 * count, "StrToWMem")
    memory = _words([], count)
    _c.StrToWMem(data, memory, count)
    return list(memory)[:count]


def byte_to_str(value: int) -> str:
    """Two hex digits."""
    buffer = ctypes.create_string_buffer(3)
    _c.ByteToStr(buffer, value)
    return _str(buffer.value)


def word_to_str(value: int) -> str:
    """Four hex digits."""
    buffer = ctypes.create_string_buffer(5)
    _c.WordToStr(buffer, value)
    return _str(buffer.value)


def bmem_to_str(data: Data) -> str:
    """Two hex digits per byte."""
    data = bytes(data)
    buffer = ctypes.create_string_buffer(2 * len(data) + 1)
    _c.BMemToStr(buffer, data, len(data))
    return _str(buffer.value)


def wmem_to_str(words: Sequence[int]) -> str:
    """Four hex digits per word."""
    array = _words(words)
    buffer = ctypes.create_string_buffer(4 * len(words) + 1)
    _c.WMemToStr(buffer, array, len(words))
    return _str(buffer.value)


def _cells_read(first_index: int) -> int:
    return max(0, min(16, POINT_CELL_COUNT - first_index))


def _cells(cells: Sequence[int], needed: int, routine: str):
    if len(cells) < needed:
        raise ValueError(f"{routine} needs {needed} cells, got {len(cells)}")
    return _words(cells)


def reg_bin_to_word(cells: Sequence[int], first_index: int) -> int:
    """Packs bit 0 of up to 16 point cells (cells[0] is table cell
    `first_index`; cells past the table's end give 0 bits)."""
    value = ctypes.c_uint16()
    _c.RegBinToWord(_cells(cells, _cells_read(first_index), "RegBinToWord"), first_index,
                    ctypes.byref(value))
    return value.value


def reg_dis_to_word(cells: Sequence[int], first_index: int) -> int:
    """Packs bit 4 of up to 16 point cells, as reg_bin_to_word."""
    value = ctypes.c_uint16()
    _c.RegDisToWord(_cells(cells, _cells_read(first_index), "RegDisToWord"), first_index,
                    ctypes.byref(value))
    return value.value


def reg_bin_to_dword(cells: Sequence[int]) -> int:
    """Packs bit 0 of exactly 32 cells."""
    value = ctypes.c_uint32()
    _c.RegBinToDWord(_cells(cells, 32, "RegBinToDWord"), ctypes.byref(value))
    return value.value


def word_to_reg_bin(cells: Sequence[int], value: int, first_index: int) -> List[int]:
    """The cells with bits 0-15 of `value` unpacked into bit 0 (clearing bits
    1-3) of up to 16 of them; the others keep their contents."""
    array = _cells(cells, _cells_read(first_index), "WordToRegBin")
    _c.WordToRegBin(array, value, first_index)
    return list(array)[:len(cells)]


def word_to_reg_dis(cells: Sequence[int], value: int, first_index: int) -> List[int]:
    """As word_to_reg_bin, into bit 4 (clearing bits 5-7)."""
    array = _cells(cells, _cells_read(first_index), "WordToRegDis")
    _c.WordToRegDis(array, value, first_index)
    return list(array)[:len(cells)]


def word_to_fmt_str(value: int, format: int) -> str:
    """A 16-bit value as FMT_SIGNED, FMT_BINARY, FMT_HEX, FMT_CHARS or
    FMT_UNSIGNED text; "" for any other selector."""
    return _written("WordToFmtStr", _c.WordToFmtStr, value, format, room=18)


def dword_to_fmt_str(value: int, format: int) -> str:
    """A 32-bit value as word_to_fmt_str, and also FMT_FLOAT (IEEE single)."""
    return _written("DWordToFmtStr", _c.DWordToFmtStr, value, format, room=34)


# ---- memory dumps and text to memory ---------------------------------------

def mem_dump(data: Data) -> List[str]:
    """The 76-character dump lines of the bytes, 16 per line."""
    data = bytes(data)
    return _lines_out("MemDump", lambda callback: _c.MemDump(data, len(data), callback, None),
                      "no dump")


def word_mem_dump(words: Sequence[int]) -> List[str]:
    """The 70-character dump lines of the words, 8 per line."""
    array = _words(words)
    return _lines_out("WordMemDump",
                      lambda callback: _c.WordMemDump(array, len(words), callback, None),
                      "no dump")


def _lines_in(lines: Iterable[Text]):
    encoded = [_text(line, "line") for line in lines]
    array = (ctypes.c_char_p * max(len(encoded), 1))(*encoded)
    return array, len(encoded)


def _parse_lines(routine: str, function, lines: Iterable[Text], limit: int) -> bytes:
    array, count = _lines_in(lines)
    buffer = ctypes.create_string_buffer(max(limit, 1))
    stored = function(array, count, buffer, limit)
    if stored < 0:
        _fail(routine, "a line or item is not valid", stored)
    return buffer.raw[:stored]


def text_to_mem(lines: Iterable[Text], limit: int) -> bytes:
    """Reads hexadecimal lines (dump lines included, ';' comment lines
    skipped) into at most `limit` bytes; raises on the first bad token."""
    return _parse_lines("TextToMem", _c.TextToMem, lines, limit)


def u_str_to_mem(item: Text, room: Optional[int] = None) -> bytes:
    """The bytes of one item: 1-3 decimal digits, 1-2 hex digits and 'H', or
    'text'. `room` defaults to the item's length, which always suffices.
    Raises for a malformed item (-1) and for text that is no item (0)."""
    data = _text(item)
    room = len(data) if room is None else room
    buffer = ctypes.create_string_buffer(max(room, 1))
    stored = _c.UStrToMem(data, buffer, room)
    if stored < 0:
        _fail("UStrToMem", f"malformed item or no room: {item!r}", stored)
    if stored == 0 and data != b"''":
        _fail("UStrToMem", f"not an item: {item!r}", stored)
    return buffer.raw[:stored]


def u_text_to_mem(lines: Iterable[Text], limit: int) -> bytes:
    """Reads item lines (see u_str_to_mem) into at most `limit` bytes."""
    return _parse_lines("UTextToMem", _c.UTextToMem, lines, limit)


# ---- CRC-16 and the tagged data file ---------------------------------------

def crc16(data: Data, init: int = CRC16_MODBUS) -> int:
    """The CRC-16 (polynomial 0xA001 reflected) register over `data` from
    `init`; CRC16_MODBUS or CRC16_ARC select the common flavours."""
    data = bytes(data)
    return _c.CRC16(data, len(data), init)


def _write_through(routine: str, stream, call) -> None:
    failure = []

    def write(_context, data, length):
        try:
            rest = memoryview(ctypes.string_at(data, length))
            # A raw stream may take fewer bytes than offered; None is the
            # "all taken" of write methods that report nothing.
            while rest:
                taken = stream.write(rest)
                if taken is None:
                    break
                if taken <= 0:
                    raise OSError(f"{routine}: the stream took no bytes")
                rest = rest[taken:]
            return 1
        except BaseException as error:  # handed back to the caller below
            failure.append(error)
            return 0

    callback = _c.WRITE_FN(write)
    ok = call(callback)
    if failure:
        raise failure[0]
    if not ok:
        _fail(routine, "not written")


def fd2_write_file_tag(stream, version: int = FILE_FORMAT_VERSION) -> None:
    """Writes the 256-byte file tag to a binary stream (anything with
    write(bytes)); raises for any version but FILE_FORMAT_VERSION."""
    _write_through("FD2WriteFileTag", stream,
                   lambda callback: _c.FD2WriteFileTag(callback, None, version))


def fd2_check_file_tag(tag: Data, version: int = FILE_FORMAT_VERSION) -> bool:
    """True when the first 256 bytes of a file are a tag of `version`."""
    tag = bytes(tag)
    if len(tag) < FILE_TAG_SIZE:
        return False
    return bool(_c.FD2CheckFileTag(tag, version))


def fd2_write_node_ex(stream, node: int, data: Data) -> None:
    """Writes a node record: the node word, the length and the data."""
    data = bytes(data)
    _write_through("FD2WriteNodeEx", stream,
                   lambda callback: _c.FD2WriteNodeEx(callback, None, node, len(data), data))


def fd2_write_eof(stream) -> None:
    """Writes the end record FF FF FF 00 00 00 00 00."""
    _write_through("FD2WriteEOF", stream, lambda callback: _c.FD2WriteEOF(callback, None))


def fd2_check_node_ex(node: int, data: Data) -> bool:
    """False only for a node with NODE_CRC_FLAG whose data, trailing CRC
    included, does not check."""
    data = bytes(data)
    return bool(_c.FD2CheckNodeEx(node, len(data), data))


def _field(buffer: bytearray):
    if not isinstance(buffer, bytearray):
        raise TypeError("node data to pack into must be a bytearray")
    return (ctypes.c_char * max(len(buffer), 1)).from_buffer(buffer) if buffer else None


def _setter(routine: str, function):
    def set_field(buffer: bytearray, cursor: int, *value) -> int:
        at = _cursor(cursor)
        if not function(_field(buffer), len(buffer), ctypes.byref(at), *value):
            _fail(routine, f"no room at {cursor} in {len(buffer)} bytes")
        return at.value
    set_field.__name__ = routine
    set_field.__doc__ = ("Packs a little-endian field into `buffer` at `cursor` and "
                         "returns the cursor after it; raises when it does not fit.")
    return set_field


fd2_node_set_byte = _setter("FD2NodeSetByte", _c.FD2NodeSetByte)
fd2_node_set_word = _setter("FD2NodeSetWord", _c.FD2NodeSetWord)
fd2_node_set_dword = _setter("FD2NodeSetDWord", _c.FD2NodeSetDWord)
fd2_node_set_crc16 = _setter("FD2NodeSetCRC16", _c.FD2NodeSetCRC16)
fd2_node_set_crc16.__doc__ = ("Appends the CRC (initial 0xFFFF) of buffer[:cursor] low "
                              "byte first and returns the cursor after it.")
_set_ansi_string = _setter("FD2NodeSetAnsiString", _c.FD2NodeSetAnsiString)


def fd2_node_set_ansi_string(buffer: bytearray, cursor: int, value: Text) -> int:
    """Packs a string field (16-bit count, characters, a zero) and returns
    the cursor after it; at most 65534 characters."""
    return _set_ansi_string(buffer, cursor, _text(value))


def _getter(routine: str, function, ctype):
    def get_field(data: Data, cursor: int) -> Tuple[int, int]:
        data = bytes(data)
        at, value = _cursor(cursor), ctype()
        if not function(data, len(data), ctypes.byref(at), ctypes.byref(value)):
            _fail(routine, f"no field at {cursor} in {len(data)} bytes")
        return value.value, at.value
    get_field.__name__ = routine
    get_field.__doc__ = ("Reads a little-endian field at `cursor`; returns the value "
                         "and the cursor after it.")
    return get_field


fd2_node_get_byte = _getter("FD2NodeGetByte", _c.FD2NodeGetByte, ctypes.c_uint8)
fd2_node_get_word = _getter("FD2NodeGetWord", _c.FD2NodeGetWord, ctypes.c_uint16)
fd2_node_get_dword = _getter("FD2NodeGetDWord", _c.FD2NodeGetDWord, ctypes.c_uint32)


def fd2_node_get_ansi_string(data: Data, cursor: int) -> Tuple[str, int]:
    """Reads a string field: the text up to its first zero, and the cursor
    after the whole field."""
    data = bytes(data)
    at = _cursor(cursor)
    text = ctypes.create_string_buffer(_ANSI_STRING_ROOM)
    if not _c.FD2NodeGetAnsiString(data, len(data), ctypes.byref(at), text, _ANSI_STRING_ROOM):
        _fail("FD2NodeGetAnsiString", f"no string field at {cursor} in {len(data)} bytes")
    return _str(text.value), at.value


# ---- telephone registers and string decomposition --------------------------

def telphone_to_reg(text: Text) -> List[int]:
    """Packs a telephone number (digits, ',', 'A', '#', '*'; at most 23) into
    six 16-bit registers."""
    regs = _words([], TELEPHONE_REGISTERS)
    if not _c.TelphoneToReg(_text(text), regs):
        _fail("TelphoneToReg", f"not a telephone number: {text!r}")
    return list(regs)


def reg_to_telphone(regs: Sequence[int]) -> str:
    """The telephone number in six registers."""
    if len(regs) != TELEPHONE_REGISTERS:
        raise ValueError("reg_to_telphone takes six registers")
    text = ctypes.create_string_buffer(_TELEPHONE_TEXT_SIZE)
    if not _c.RegToTelphone(_words(regs), text):
        _fail("RegToTelphone", f"no number in {list(regs)!r}")
    return _str(text.value)


def decompose_str(text: Text) -> Tuple[Text, Text]:
    """Splits a text into a first part of at most 8 bytes (9 to keep a
    double-byte character whole), preferring a break after a space, and the
    rest. Bytes in give bytes out."""
    data = _text(text)
    first = ctypes.create_string_buffer(_DECOMPOSE_FIRST_SIZE)
    rest = ctypes.create_string_buffer(len(data) + 1)
    _c.DecomposeStr(data, first, rest)
    if isinstance(text, str):
        return _str(first.value), _str(rest.value)
    return first.value, rest.value


def double_byte_code_page_of_locale(locale_name: Text) -> int:
    """The double-byte code page (932, 936, 949, 950) a locale name such as
    "ja_JP.SJIS" names, 0 for none."""
    return _c.DoubleByteCodePageOfLocale(_text(locale_name, "locale name"))


def set_decompose_code_page(code_page: int) -> None:
    """Makes decompose_str treat text as in a Windows code page (932, 936,
    949 and 950 have double-byte characters) for the whole process; 0 goes
    back to the LC_CTYPE locale."""
    _c.SetDecomposeCodePage(code_page)


# ---- ladder masking and small routines -------------------------------------

def _ladder(routine: str, function, buffer: Data) -> bytes:
    data = bytearray(buffer)
    if len(data) != LADDER_SIZE:
        raise ValueError(f"{routine} takes {LADDER_SIZE} bytes, got {len(data)}")
    function((ctypes.c_char * LADDER_SIZE).from_buffer(data))
    return bytes(data)


def ladder_mask(buffer: Data) -> bytes:
    """The 0x8000-byte ladder buffer with its payload masked by the key in
    its key area (from LADDER_KEY_OFFSET), which stays as it is."""
    return _ladder("LadderMask", _c.LadderMask, buffer)


def ladder_un_mask(buffer: Data) -> bytes:
    """Undoes ladder_mask, then sets the whole key area to 0xFF."""
    return _ladder("LadderUnMask", _c.LadderUnMask, buffer)


def randomize(count: int) -> bytes:
    """`count` pseudo-random bytes 0..254, from the C library's rand()
    seeded with the time in seconds."""
    buffer = ctypes.create_string_buffer(max(count, 1))
    _c.Randomize(buffer, count)
    return buffer.raw[:max(count, 0)]


def shift_key(members: Iterable[int]) -> int:
    """The 16-bit mask of a set of ShiftMember values: bit k for member k."""
    members = bytes(int(m) for m in members)
    mask = ctypes.c_uint16()
    if not _c.ShiftKey(members, len(members), ctypes.byref(mask)):
        _fail("ShiftKey", f"not shift-state members: {list(members)!r}")
    return mask.value
