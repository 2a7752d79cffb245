"""The instruction codes of a Clifford stream (clifford_run, clifford_tableau,
NativeTableau.apply), for the tests: read from the module's own table in
src/orvane_native/stabilizer/instructions.h, so the tests cannot drift from
the codes the module runs. bench/ and examples/ restate them for use on their
own; test_stabilizer checks those copies against these."""

import pathlib
import re

HEADER = pathlib.Path(__file__).resolve().parent.parent / "src" / "orvane_native" / "stabilizer" / "instructions.h"


def read_table(path=HEADER):
    """{code name: (code, uses qubit b, is a measurement)} from the enum and
    the kInstructions rows of the header."""
    text = pathlib.Path(path).read_text()
    enum = re.search(r"enum Instr : int64_t \{(.*?)\};", text, re.S).group(1)
    codes = {m.group(1): int(m.group(2)) for m in re.finditer(r"instr_(\w+) = (\d+)", enum)}
    rows = re.search(r"kInstructions\[\] = \{(.*?)\n\};", text, re.S).group(1)
    table = {}
    for m in re.finditer(r"\{instr_(\w+), \"[^\"]*\", (true|false), (true|false)\}", rows):
        table[m.group(1)] = (codes[m.group(1)], m.group(2) == "true", m.group(3) == "true")
    if sorted(c for c, _, _ in table.values()) != list(range(len(codes))) or len(table) != len(codes):
        raise ValueError(f"{path}: the instruction table does not list codes 0..{len(codes) - 1} once each")
    return table


TABLE = read_table()
H, S, SDG, X, Y, Z, CNOT, CZ, SWAP, MEASURE = (
    TABLE[name][0] for name in ("h", "s", "sdg", "x", "y", "z", "cnot", "cz", "swap", "measure"))
CODE_COUNT = len(TABLE)  # codes 0 .. CODE_COUNT - 1; any other code is ignored
ONE_QUBIT = [c for c, uses_b, measures in sorted(TABLE.values()) if not uses_b and not measures]
TWO_QUBIT = [c for c, uses_b, _ in sorted(TABLE.values()) if uses_b]
GATES = ONE_QUBIT + TWO_QUBIT
# stim's name of each gate code (stim.Circuit; lower case, the method of
# stim.TableauSimulator), for the checks against stim.
STIM_NAME = {H: "H", S: "S", SDG: "S_DAG", X: "X", Y: "Y", Z: "Z", CNOT: "CNOT", CZ: "CZ", SWAP: "SWAP"}
