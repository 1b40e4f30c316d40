"""Each family of the library through the Python package: known answers,
failures as FautilError, and the conversions the package itself adds."""

import ctypes
import io
import pathlib
import re

import pytest

import fautil
from fautil import FautilError, Operand

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]


KNOWN_ANSWERS = [
    ("operand-text", lambda: fautil.str_to_type("X0"), Operand(0x20, 0)),
    ("lower-case-bytes", lambda: fautil.str_to_type(b"wm16"), Operand(0x32, 16)),
    ("normalized-text", lambda: fautil.str_normalize("x007"), "X7"),
    ("canonical-text", lambda: fautil.type_to_str(0x32, 16), "WM16"),
    ("c-register-recoded-by-block", lambda: fautil.check_type_range(0x41, 200), Operand(0x66, 200)),
    ("reserved-conversion-unchanged", lambda: fautil.type_to_dtype(0x20, 5), Operand(0x20, 5)),
    ("reference-list-expanded", lambda: fautil.ref_str_range_to_str("X0-X2\nY5"), ["X0", "X1", "X2", "Y5"]),
    ("previous-wraps-round", lambda: fautil.get_next_ref("X0", next=False), "X255"),
    ("table-fits", lambda: fautil.check_table_range("R0", 10), True),
    ("table-runs-past-its-area", lambda: fautil.check_table_range("R3830", 20), False),
    ("doc-ref-round-trip", lambda: fautil.doc_ref_to_str(fautil.str_to_doc_ref("Y0")), "Y0"),
    ("flash-d-register-code", lambda: fautil.flash_reg_str_to_ref("D0"), 10000),
    ("decimal-link-string-before-version-4", lambda: fautil.type_to_link_str_ver(0x20, 12, 0x0300), "X0012"),
    ("no-link-mode", lambda: fautil.type_to_link_mode(0x99), fautil.NO_LINK_MODE),
    ("dword-from-hex", lambda: fautil.str_to_dword("DEADBEEF"), 0xDEADBEEF),
    ("signed-word", lambda: fautil.word_to_fmt_str(0xFFFF, fautil.FMT_SIGNED), "-1"),
    ("float-dword", lambda: fautil.dword_to_fmt_str(0x3F800000, fautil.FMT_FLOAT), "1"),
    ("bytes-as-hex", lambda: fautil.bmem_to_str(b"\x01\xAB"), "01AB"),
    ("words-from-hex", lambda: fautil.str_to_wmem("0001ABCD"), [1, 0xABCD]),
    ("bits-packed", lambda: fautil.reg_bin_to_word([1, 0, 1] + [0] * 13, 0), 0b101),
    ("bits-unpacked-up-to-the-table-end", lambda: fautil.word_to_reg_bin([0xFF0E, 0xFFFF], 1, fautil.POINT_CELL_COUNT - 2),
     [0xFF01, 0xFFF0]),
    ("hex-lines-with-comment", lambda: fautil.text_to_mem(["41 42", "; skipped", "0a"], 8), b"AB\n"),
    ("item-line", lambda: fautil.u_text_to_mem(["'A''B',255,FFH"], 8), b"A'B\xff\xff"),
    ("empty-quoted-item", lambda: fautil.u_str_to_mem("''"), b""),
    ("crc-modbus", lambda: fautil.crc16(b"123456789"), 0x4B37),
    ("crc-arc", lambda: fautil.crc16(b"123456789", fautil.CRC16_ARC), 0xBB3D),
    ("telephone-round-trip", lambda: fautil.reg_to_telphone(fautil.telphone_to_reg("0,12#*")), "0,12#*"),
    ("split-after-space", lambda: fautil.decompose_str("ABCDE FGHIJK"), ("ABCDE ", "FGHIJK")),
    ("bytes-in-bytes-out", lambda: fautil.decompose_str(b"ABCDEFGHI"), (b"ABCDEFGH", b"I")),
    ("shift-mask", lambda: fautil.shift_key([fautil.ShiftMember.CTRL, fautil.ShiftMember.DOUBLE]), 0x44),
]


@pytest.mark.parametrize("call, expected", [case[1:] for case in KNOWN_ANSWERS],
                         ids=[case[0] for case in KNOWN_ANSWERS])
def test_known_answers(call, expected):
    assert call() == expected


@pytest.mark.parametrize("routine, call", [
    ("StrToType", lambda: fautil.str_to_type("X256")),
    ("StrToType", lambda: fautil.str_to_type("")),
    ("TypeToStr", lambda: fautil.type_to_str(0x02, 1)),
    ("CheckTypeRange", lambda: fautil.check_type_range(0x20, 256)),
    ("RefStrRangeToStr", lambda: fautil.ref_str_range_to_str("X0-Y3")),
    ("GetNextRef", lambda: fautil.get_next_ref("K5")),
    ("TypeToDRef", lambda: fautil.type_to_d_ref(0x47, 0)),
    ("LinkStrToType", lambda: fautil.link_str_to_type("Q0000")),
    ("StrToHex", lambda: fautil.str_to_hex("1G")),
    ("TextToMem", lambda: fautil.text_to_mem(["41 XYZ"], 8)),
    ("UStrToMem", lambda: fautil.u_str_to_mem("'open")),
    ("UStrToMem", lambda: fautil.u_str_to_mem("1234")),
    ("FD2WriteFileTag", lambda: fautil.fd2_write_file_tag(io.BytesIO(), 1)),
    ("FD2NodeGetWord", lambda: fautil.fd2_node_get_word(b"\x01", 0)),
    ("FD2NodeSetDWord", lambda: fautil.fd2_node_set_dword(bytearray(6), 3, 1)),
    ("FD2NodeGetAnsiString", lambda: fautil.fd2_node_get_ansi_string(b"\x09\x00ab", 0)),
    ("TelphoneToReg", lambda: fautil.telphone_to_reg("0" * 24)),
    ("RegToTelphone", lambda: fautil.reg_to_telphone([0x000F, 0, 0, 0, 0, 0])),
    ("ShiftKey", lambda: fautil.shift_key([7])),
], ids=[
    "operand-out-of-range", "empty-text", "real-constant-has-no-text", "address-outside-the-code",
    "list-range-across-kinds", "operand-without-a-stepping-ring", "type-the-family-does-not-encode", "unknown-link-string",
    "not-a-hex-digit", "bad-hex-token", "unterminated-string-item", "four-digits-is-no-item",
    "wrong-format-version", "word-past-the-data", "dword-past-the-buffer", "string-count-past-the-data",
    "number-too-long", "empty-number-has-no-text", "member-above-double-click"])
def test_failures_raise_naming_the_routine(routine, call):
    with pytest.raises(FautilError) as raised:
        call()
    assert raised.value.routine == routine
    assert str(raised.value).startswith(routine + ": ")


def test_table_check_failure_carries_the_routines_result():
    with pytest.raises(FautilError) as raised:
        fautil.check_table_range("nonsense", 1)
    assert raised.value.result == -1


@pytest.mark.parametrize("call, error", [
    (lambda: fautil.str_to_type("X\0" "1"), ValueError),
    (lambda: fautil.str_to_type("X\u20ac"), ValueError),
    (lambda: fautil.str_to_type(7), TypeError),
    (lambda: fautil.str_to_word("AB"), ValueError),
    (lambda: fautil.reg_bin_to_word([0] * 15, 0), ValueError),
    (lambda: fautil.reg_bin_to_dword([0] * 31), ValueError),
    (lambda: fautil.ladder_mask(bytes(100)), ValueError),
    (lambda: fautil.reg_to_telphone([0] * 5), ValueError),
    (lambda: fautil.fd2_node_set_byte(bytes(4), 0, 1), TypeError),
    (lambda: fautil.str_to_bmem("AB", -1), ValueError),
    (lambda: fautil.str_to_wmem("ABCD", -1), ValueError),
    (lambda: fautil.bmem_to_str(bytes(65536)), ValueError),
    (lambda: fautil.word_to_reg_bin([], 0xFFFF, 65536), ValueError),
    (lambda: fautil.reg_dis_to_word([0] * 16, -1), ValueError),
    (lambda: fautil.type_to_str(0x120, 5), ValueError),
    (lambda: fautil.fd2_check_file_tag(bytes(256), 11121 + 65536), ValueError),
    (lambda: fautil.fd2_node_set_byte(bytearray(4), 0, 300), ValueError),
    (lambda: fautil.fd2_node_set_word(bytearray(4), 2 ** 32, 1), ValueError),
    (lambda: fautil.wmem_to_str([0x10000]), ValueError),
    (lambda: fautil.type_to_str(0x20, 1.0), TypeError),
], ids=["nul", "wide-character", "not-text", "short-word", "too-few-cells",
        "too-few-dword-cells", "ladder-size", "five-registers", "immutable-node-data",
        "negative-byte-count", "negative-word-count", "count-past-16-bits",
        "index-past-16-bits", "negative-index", "type-past-8-bits", "version-past-16-bits",
        "byte-value-past-8-bits", "cursor-past-32-bits", "word-value-past-16-bits",
        "float-for-an-int"])
def test_arguments_the_library_cannot_take_are_refused_before_the_call(call, error):
    with pytest.raises(error):
        call()


def test_tagged_file_written_to_a_stream_reads_back():
    node = bytearray(32)
    cursor = fautil.fd2_node_set_word(node, 0, 0xBEEF)
    cursor = fautil.fd2_node_set_ansi_string(node, cursor, "KV-37")
    cursor = fautil.fd2_node_set_crc16(node, cursor)
    data = bytes(node[:cursor])
    stream = io.BytesIO()
    fautil.fd2_write_file_tag(stream)
    fautil.fd2_write_node_ex(stream, fautil.NODE_CRC_FLAG | 3, data)
    fautil.fd2_write_eof(stream)

    written = stream.getvalue()
    assert fautil.fd2_check_file_tag(written[:fautil.FILE_TAG_SIZE])
    assert written[256:264] == (fautil.NODE_CRC_FLAG | 3).to_bytes(4, "little") + \
        len(data).to_bytes(4, "little")
    assert written[-8:] == bytes.fromhex("FFFFFF0000000000")
    assert fautil.fd2_check_node_ex(fautil.NODE_CRC_FLAG | 3, data)
    assert not fautil.fd2_check_node_ex(fautil.NODE_CRC_FLAG, data[:-1] + b"\0")
    word, at = fautil.fd2_node_get_word(data, 0)
    text, at = fautil.fd2_node_get_ansi_string(data, at)
    assert (word, text, at) == (0xBEEF, "KV-37", cursor - 2)


def test_a_stream_that_takes_a_few_bytes_at_a_time_gets_them_all():
    class Trickle(io.RawIOBase):
        def __init__(self):
            self.data = bytearray()

        def writable(self):
            return True

        def write(self, data):
            self.data += bytes(data[:100])
            return min(len(data), 100)

    trickle, whole = Trickle(), io.BytesIO()
    fautil.fd2_write_file_tag(trickle)
    fautil.fd2_write_file_tag(whole)
    assert bytes(trickle.data) == whole.getvalue()


def test_longest_string_field_reads_back_whole():
    field = b"\xff\xff" + b"A" * 65535
    assert fautil.fd2_node_get_ansi_string(field, 0) == ("A" * 65535, len(field))


def test_an_error_while_collecting_lines_reaches_the_caller(monkeypatch):
    calls = []

    def failing(data):
        calls.append(data)
        if len(calls) == 2:
            raise KeyboardInterrupt
        return data.decode("latin-1")

    monkeypatch.setattr(fautil, "_str", failing)
    with pytest.raises(KeyboardInterrupt):
        fautil.ref_str_range_to_str("X0-X3")


def test_a_failing_stream_raises_its_own_error():
    class Full(io.RawIOBase):
        def write(self, data):
            raise OSError(28, "No space left on device")

    with pytest.raises(OSError, match="No space"):
        fautil.fd2_write_eof(Full())


def test_ladder_mask_round_trip_restores_the_payload_and_clears_the_key():
    buffer = bytearray(fautil.randomize(fautil.LADDER_SIZE))
    masked = fautil.ladder_mask(buffer)
    assert masked[fautil.LADDER_KEY_OFFSET:] == buffer[fautil.LADDER_KEY_OFFSET:]
    assert masked[:fautil.LADDER_KEY_OFFSET] != buffer[:fautil.LADDER_KEY_OFFSET]
    unmasked = fautil.ladder_un_mask(masked)
    assert unmasked[:fautil.LADDER_KEY_OFFSET] == buffer[:fautil.LADDER_KEY_OFFSET]
    assert unmasked[fautil.LADDER_KEY_OFFSET:] == b"\xff" * 256
    assert 0xFF not in buffer


def test_dumps_read_back_as_the_bytes_they_show():
    data = bytes(range(256))
    lines = fautil.mem_dump(data)
    assert [len(line) for line in lines] == [76] * 16
    assert fautil.text_to_mem(lines, len(data)) == data
    assert fautil.text_to_mem(fautil.word_mem_dump([0x4142] * 9), 64) == b""


def test_library_is_found_through_the_environment_first(tmp_path, monkeypatch):
    from fautil import _native
    monkeypatch.setenv("FAUTIL_LIBRARY", str(tmp_path / "missing.so"))
    assert _native._candidates() == [str(tmp_path / "missing.so")]
    with pytest.raises(ImportError, match="FAUTIL_LIBRARY"):
        _native._load()
    monkeypatch.delenv("FAUTIL_LIBRARY")
    assert _native._candidates()[0].endswith("fautil/" + _native.SONAME)


C_TYPES = {"int32_t": ctypes.c_int32, "uint8_t": ctypes.c_uint8, "uint16_t": ctypes.c_uint16,
           "uint32_t": ctypes.c_uint32, "char": ctypes.c_char, "char*": ctypes.c_char_p}


def c_declarations():
    """(name, result type, parameter types) of each function of the C header,
    types without const and spaces ("char**", "uint16_t*")."""
    header = REPOSITORY / "devlib" / "include" / "fautil" / "fautil_c.h"
    text = re.sub(r"/\*.*?\*/", "", header.read_text(), flags=re.DOTALL)

    def bare(c_type):
        return re.sub(r"\bconst\b|\s", "", c_type)

    for result, name, parameters in re.findall(
            r"FAUTIL_API\s+([\w\s*]+?)\s*\bfautil_(\w+)\(([^)]*)\);", text):
        types = [] if parameters.strip() == "void" else [
            bare(re.sub(r"\w+\s*$", "", p.strip())) for p in parameters.split(",")]
        yield name, bare(result), types


def matches(c_type, declared):
    """Whether a ctypes declaration passes the C type with its width."""
    from fautil import _native
    declared = _native._ctype(declared)
    if c_type.startswith("fautil_"):  # the callback types
        return isinstance(declared, type) and issubclass(declared, ctypes._CFuncPtr)
    if c_type.endswith("*"):
        pointee = c_type[:-1]
        if declared is ctypes.c_void_p:
            return True
        if declared is ctypes.c_char_p:
            return pointee == "char"
        return (isinstance(declared, type) and issubclass(declared, ctypes._Pointer)
                and declared._type_ is C_TYPES.get(pointee))
    return declared is C_TYPES[c_type]


def test_every_prototype_here_has_the_widths_of_the_c_header():
    from fautil import _native
    if not (REPOSITORY / "devlib").exists():
        pytest.skip("not run from the repository")
    seen = set()
    for name, result, parameters in c_declarations():
        seen.add(name)
        declared_result, declared_parameters = _native._PROTOTYPES[name]
        assert matches(result, declared_result), (name, result)
        assert len(parameters) == len(declared_parameters), name
        for c_type, declared in zip(parameters, declared_parameters):
            assert matches(c_type, declared), (name, c_type, declared)
    assert seen == set(_native._PROTOTYPES)


def test_every_c_function_the_library_exports_has_a_prototype_here():
    from fautil import _native
    symbols = REPOSITORY / "devlib" / "fautil.symbols"
    if not symbols.exists():
        pytest.skip("not run from the repository")
    exported = set(re.findall(r"^T fautil_(\w+)@@", symbols.read_text(), re.MULTILINE))
    assert exported == set(_native._PROTOTYPES)


def test_a_library_older_than_the_package_is_named_at_import(monkeypatch):
    from fautil import _native

    class Older:
        _name = "/usr/lib/libfautil.so.1"

    monkeypatch.setattr(_native, "lib", Older())
    with pytest.raises(ImportError, match="libfautil.so.1 has no fautil_ShiftKey; it is older"):
        _native._bind("ShiftKey", _native.i32, [])


def test_the_package_belongs_to_the_version_of_the_library_it_loads():
    assert fautil.__version__ == fautil.version()
