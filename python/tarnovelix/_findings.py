"""What a read met in a scan besides its rows: the findings the command
line's ``--report`` shows, and what a call does with them
(``on_findings``)."""

from __future__ import annotations

import warnings
from dataclasses import dataclass
from typing import Dict, List, NamedTuple, Optional, Sequence, Tuple

from . import _core
from ._scan import ScanWarning

# What a call does with the findings of a scan, as pandas' on_bad_lines
# does with bad lines.
ON_FINDINGS = ("ignore", "warn", "raise")

# The kinds, in the order the report counts them.
KINDS: Tuple[str, ...] = tuple(_core.FINDING_KINDS)


class Finding(NamedTuple):
    """One finding: its ``kind`` (one of :data:`Findings.KINDS`), the
    ``line`` of the input it is on (from 1, as the command line counts
    them; None for the file as a whole), the ``column`` of the value
    concerned (from 1; 0 for a label or the line as a whole) and its
    ``text``, as ``--report`` prints it after ``NAME:LINE:``."""

    kind: str
    line: Optional[int]
    column: int
    text: str


@dataclass(frozen=True)
class Findings:
    """What ``--report`` shows of a scan: ``shown``, the first five
    findings of each kind in the order of the input, ``counts``, the count
    of every kind (0 included, in the report's order), and ``summary``, the
    report's count line ("3 findings (lines without rows: 2, ...)", empty
    for none)."""

    shown: Tuple[Finding, ...]
    counts: Dict[str, int]
    summary: str

    KINDS = KINDS

    @property
    def total(self) -> int:
        """The count of every finding, shown or not."""
        return sum(self.counts.values())

    def report_lines(self, name: str) -> List[str]:
        """The report's lines for the scan ``name``, as the command line
        writes them after ``tarnovelix: `` (none for no findings)."""
        if not self.shown:
            return []
        lines = [
            "%s:%d: %s" % (name, f.line, f.text) if f.line is not None else "%s: %s" % (name, f.text)
            for f in self.shown
        ]
        return lines + ["%s: %s" % (name, self.summary)]


class FindingWarning(ScanWarning):
    """A finding of a scan read with ``on_findings="warn"``: one warning
    per line of the report. ``source`` is the scan's name, ``finding`` the
    :class:`Finding` (None for the report's count line)."""

    def __init__(self, message: str, source: str, finding: Optional[Finding]) -> None:
        super().__init__(message)
        self.source = source
        self.finding = finding


class FindingError(ValueError):
    """A scan read with ``on_findings="raise"`` had findings: ``source`` is
    its name, ``finding`` the first :class:`Finding` in the order of the
    input, ``findings`` all of them."""

    def __init__(self, source: str, findings: Findings) -> None:
        first = findings.shown[0]
        where = source if first.line is None else "%s:%d" % (source, first.line)
        super().__init__("%s: %s (%s)" % (where, first.text, findings.summary))
        self.source = source
        self.finding = first
        self.findings = findings


def checked_on_findings(on_findings: str) -> str:
    if not isinstance(on_findings, str) or on_findings not in ON_FINDINGS:
        raise ValueError(
            "on_findings must be 'ignore', 'warn' or 'raise', not %r" % (on_findings,)
        )
    return on_findings


def findings_of(result) -> Optional[Findings]:
    """The Findings of a read's result (``_core.ReadResult``), None for a
    read without a report."""
    found = result.findings
    if found is None:
        return None
    return Findings(
        shown=tuple(Finding(*f) for f in found.shown),
        counts=dict(zip(KINDS, found.counts)),
        summary=found.summary,
    )


def act_on(findings: Optional[Findings], name: str, on_findings: str, stacklevel: int) -> None:
    """Warns of or raises `findings` of the scan `name` as `on_findings`
    says; `stacklevel` names the caller's frame, as warnings.warn takes it."""
    if on_findings == "ignore" or findings is None or not findings.shown:
        return
    if on_findings == "raise":
        raise FindingError(name, findings)
    lines = findings.report_lines(name)
    for line, finding in zip(lines, list(findings.shown) + [None]):
        warnings.warn(FindingWarning(line, name, finding), stacklevel=stacklevel + 1)


def counts_table(found: Sequence[Optional[Findings]], names: Sequence[str]) -> Dict[str, tuple]:
    """The counts of many scans as columns: ``file`` (their names, in
    order) and one column per kind, as ``pandas.DataFrame`` takes them."""
    table: Dict[str, tuple] = {"file": tuple(names)}
    for kind in KINDS:
        table[kind] = tuple(f.counts[kind] if f is not None else 0 for f in found)
    return table


for _type in (Finding, Findings, FindingWarning, FindingError):
    _type.__module__ = "tarnovelix"
