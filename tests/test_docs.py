"""Runs every example of the documentation (docs/*.md and README.md) as a
doctest, so the pages cannot drift from what the module does."""

import doctest
import io
import pathlib

import pytest

ROOT = pathlib.Path(__file__).resolve().parent.parent
PAGES = sorted((ROOT / "docs").glob("*.md")) + [ROOT / "README.md"]

# The pages that must exist: one per area, the conventions page, numpy and
# the other simulators, and the errors page.
AREAS = {"index.md", "stabilizer.md", "statevector.md", "density.md", "linalg.md", "objects.md",
         "numpy.md", "errors.md"}


def test_every_area_has_a_page():
    assert AREAS <= {p.name for p in PAGES}


@pytest.mark.parametrize("page", PAGES, ids=lambda p: str(p.relative_to(ROOT)))
def test_page_examples(page):
    pytest.importorskip("numpy")
    text = page.read_text()
    test = doctest.DocTestParser().get_doctest(text, {"__name__": page.stem}, page.name, str(page), 0)
    assert test.examples, f"{page.name} has no examples"
    out = io.StringIO()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    result = runner.run(test, out=out.write)
    assert result.failed == 0, out.getvalue()


def test_every_module_name_is_documented():
    """Each function and class appears in a code example of some page."""
    on = pytest.importorskip("orvane_native")
    examples = "\n".join(
        ex.source
        for page in PAGES
        for ex in doctest.DocTestParser().get_examples(page.read_text())
    )
    missing = [name for name in dir(on) if not name.startswith("_") and f"on.{name}(" not in examples]
    assert missing == []
