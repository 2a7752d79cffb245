"""Reading flattened tableaux and checking them against stim (shared by the
stabilizer tests)."""

import stim


def triples(stream):
    return [stream[i:i + 3] for i in range(0, len(stream) - 2, 3)]


def rows(flat, n):
    """Flattened tableau as (x bits, z bits, sign) per row."""
    w = 2 * n + 1
    return [(flat[k * w:k * w + n], flat[k * w + n:k * w + 2 * n], flat[k * w + 2 * n]) for k in range(w)]


def pauli_string(x, z, sign):
    """The row's operator: (x, z) = (1, 0) X, (0, 1) Z, (1, 1) the Hermitian Y;
    sign bit 1 is -1."""
    letters = "".join("_XZY"[xb + 2 * zb] for xb, zb in zip(x, z))
    return stim.PauliString(("-" if sign else "+") + letters)


def check_tableau_against_stim(flat, n, sim):
    """Every stabilizer row, with its sign, has expectation +1 in stim's state
    and together they generate stim's group; destabilizer i anticommutes with
    stabilizer i only."""
    table = rows(flat, n)
    stabilizers = [pauli_string(*r) for r in table[n:2 * n]]
    destabilizers = [pauli_string(*r) for r in table[:n]]
    for p in stabilizers:
        assert sim.peek_observable_expectation(p) == 1
    ours = stim.Tableau.from_stabilizers(stabilizers).to_stabilizers(canonicalize=True)
    assert ours == sim.canonical_stabilizers()
    for i, d in enumerate(destabilizers):
        assert [not d.commutes(s) for s in stabilizers] == [k == i for k in range(n)]
