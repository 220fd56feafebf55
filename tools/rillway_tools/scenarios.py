"""Scenarios at scale: many storms, climate uplifts and ensembles over many networks.

A scenario is one row of a table with these columns (any may be left out):

    name              free text; made from the other fields when absent
    return_period     years; picks the document's IDF curve for that period (its
                      `idf_curves` entry, rounded to whole years) and its frequency factor;
                      empty: the design period. A period without a curve fails that scenario.
    intensity_factor  multiplies the rainfall intensity (the IDF `a`, or the override); 1.0
    c_factor          multiplies every runoff coefficient, before the 1.0 cap on C x Cf; 1.0
    n_factor          multiplies every Manning n; 1.0
    tailwater         at the outfalls, in the document's length unit (m in an SI project,
                      as its own `tailwater`), overriding the document's; empty: the document's

    import rillway_tools.scenarios as rs
    storms = rs.grid(return_period=[10, 100], intensity_factor=[1.0, 1.2, 1.4])
    results = rs.run(["north.rwproj", "south.rwproj"], storms)
    results.summary            # one row per document and scenario

`run` reads each document once and hands batches of scenarios of one document to
`rillway.analyze_scenarios`, on a local thread pool (the module releases the interpreter lock
while it analyses) or, given a `dask.distributed.Client`, as tasks on that cluster. Needs
numpy and pandas; the Dask client needs the `dask` extra (`pip install 'rillway[dask]'`).
"""
from __future__ import annotations

import importlib
import itertools
import math
import os
import tempfile
from collections.abc import Iterable, Mapping, Sequence
from concurrent.futures import ThreadPoolExecutor, as_completed
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Literal, NamedTuple

import rillway

from .documents import Document, DocumentError, is_si
from .formats.si import SI_UNITS, US_PER_SI

# pandas, numpy, pyarrow, tqdm and Dask are optional (the scenarios and dask extras) and are
# imported where they are used; tables are typed as Any so that the package type-checks with
# or without them.
DataFrame = Any


def _module(name: str) -> Any:
    return importlib.import_module(name)

__all__ = ["FIELDS", "Normal", "Results", "Uniform", "analyze_batch", "connect", "grid", "normal", "run", "sample",
           "scenario_table", "storms", "summary_text", "uniform", "write_parquet"]

# The scenario fields, in table order, and the value that leaves the analysis as designed
# (NaN: the document's own return period or tailwater).
DEFAULTS: dict[str, float] = {"return_period": math.nan, "intensity_factor": 1.0,
                              "c_factor": 1.0, "n_factor": 1.0, "tailwater": math.nan}
FIELDS = ("name", *DEFAULTS)
PIPE_VALUES = ("design_q", "pct_full", "velocity", "hgl_up", "hgl_dn", "surcharged")
NODE_VALUES = ("hgl", "freeboard", "floods")
MAX_BATCH = 256  # scenarios per task: 256 analyses of 1,000 pipes are about a second


# ---- scenario tables --------------------------------------------------------------------

def scenario_table(scenarios: Any) -> DataFrame:
    """The scenarios as a table with every field: from a DataFrame, a CSV file's path, or an
    iterable of mappings. Missing fields take their defaults; an unknown column, or a value
    that is not a number, is a ValueError naming it."""
    pd = _module("pandas")

    if isinstance(scenarios, (str, os.PathLike)):
        try:
            # Cells as written: only an empty cell means the default ("nan", "NA" and "null"
            # are refused like any other word).
            frame = pd.read_csv(scenarios, dtype=str, keep_default_na=False)
        except (OSError, ValueError) as error:
            raise ValueError(f"{os.fspath(scenarios)}: cannot read scenarios: {error}") from None
        source = f"{os.fspath(scenarios)}: "
    elif isinstance(scenarios, pd.DataFrame):
        frame, source = scenarios.reset_index(drop=True), ""
    else:
        frame, source = pd.DataFrame(list(scenarios)), ""
    unknown = [str(column) for column in frame.columns if column not in FIELDS]
    if unknown:
        raise ValueError(f"{source}unknown scenario field(s) {', '.join(unknown)} "
                         f"(expected {', '.join(FIELDS)})")
    table = pd.DataFrame(index=range(len(frame)))
    for field, default in DEFAULTS.items():
        if field not in frame:
            table[field] = default
            continue
        values = []
        for row, cell in enumerate(frame[field]):
            # A CSV file's first scenario is on its second line, under the header.
            where = f"line {row + 2}" if source else f"scenario {row}"
            values.append(_field_value(cell, field, default, f"{source}{where}"))
        table[field] = pd.Series(values, dtype=float)
    names = frame["name"] if "name" in frame else pd.Series([None] * len(frame), dtype=object)
    made = [_name_of(row) for row in table.itertuples(index=False)]
    table.insert(0, "name", [made[i] if _missing(n) or str(n).strip() == "" else str(n)
                             for i, n in enumerate(names)])
    return table


def _field_value(cell: Any, field: str, default: float, where: str) -> float:
    """A scenario field's value: the default for an empty cell, else a finite number (above 0
    for the return period and the factors; the tailwater is an elevation)."""
    if _missing(cell) or (isinstance(cell, str) and cell.strip() == ""):
        return default
    try:
        value = float(cell)
    except (TypeError, ValueError):
        raise ValueError(f"{where}: {field} must be a number, not {cell!r}") from None
    if not math.isfinite(value):
        raise ValueError(f"{where}: {field} must be a finite number, not {cell!r}")
    if field != "tailwater" and not value > 0.0:
        raise ValueError(f"{where}: {field} must be above 0, not {cell!r}")
    return value


def grid(**axes: Iterable[float]) -> DataFrame:
    """Every combination of the values of each field, the first field varying slowest:
    `grid(return_period=[10, 100], intensity_factor=[1.0, 1.2])` is four scenarios."""
    _check_fields(axes, "grid")
    values = {field: list(axis) for field, axis in axes.items()}
    rows = [dict(zip(values, combination)) for combination in itertools.product(*values.values())]
    return scenario_table(rows if rows else [{}])


def storms(periods: str | Iterable[float]) -> DataFrame:
    """One scenario per return period: `storms("2,10,100")`, each named "100-year"."""
    if isinstance(periods, str):
        try:
            years = [float(part) for part in periods.split(",") if part.strip()]
        except ValueError:
            raise ValueError(f"storms: expected return periods in years such as 2,10,100, "
                             f"not {periods!r}") from None
    else:
        years = [float(part) for part in periods]
    if not years:
        raise ValueError("storms: no return period given")
    for year in years:
        if not (math.isfinite(year) and year > 0.0):
            raise ValueError(f"storms: a return period is a number of years above 0, not "
                             f"{year:g}")
    return scenario_table([{"name": f"{y:g}-year", "return_period": y} for y in years])


@dataclass(frozen=True)
class Uniform:
    low: float
    high: float


@dataclass(frozen=True)
class Normal:
    mean: float
    sd: float


def uniform(low: float, high: float) -> Uniform:
    """Draws uniformly from [low, high)."""
    return Uniform(float(low), float(high))


def normal(mean: float, sd: float) -> Normal:
    """Draws from a normal distribution; a draw outside a field's valid range (a factor at or
    below zero) fails that scenario with its message."""
    return Normal(float(mean), float(sd))


def sample(count: int, seed: int, **ranges: Uniform | Normal | tuple[float, float] | float
           ) -> DataFrame:
    """`count` random scenarios: each field drawn from `uniform(low, high)` (also written
    `(low, high)`) or `normal(mean, sd)`, or held at a number. The same seed gives the same
    table, whatever the order of the keywords (fields are drawn in table order, each from its
    own stream of numpy's PCG64)."""
    np = _module("numpy")

    _check_fields(ranges, "sample")
    if count < 0:
        raise ValueError(f"sample: count must be zero or more, not {count}")
    columns: dict[str, Any] = {}
    for index, field in enumerate(DEFAULTS):
        if field not in ranges:
            continue
        draw = ranges[field]
        rng = np.random.default_rng([seed, index])
        if isinstance(draw, tuple):
            draw = uniform(*draw)
        if isinstance(draw, Uniform):
            columns[field] = rng.uniform(draw.low, draw.high, count)
        elif isinstance(draw, Normal):
            columns[field] = rng.normal(draw.mean, draw.sd, count)
        else:
            columns[field] = np.full(count, float(draw))
    columns["name"] = [f"sample {seed}-{i}" for i in range(count)]
    pd = _module("pandas")

    return scenario_table(pd.DataFrame(columns, index=range(count)))


def _check_fields(given: Mapping[str, Any], function: str) -> None:
    unknown = [field for field in given if field not in DEFAULTS]
    if unknown:
        raise TypeError(f"{function}: unknown scenario field(s) {', '.join(unknown)} "
                        f"(expected {', '.join(DEFAULTS)})")


def _missing(value: Any) -> bool:
    return value is None or (isinstance(value, float) and math.isnan(value))


def _name_of(row: Any) -> str:
    parts = [f"{field}={getattr(row, field):g}" for field, default in DEFAULTS.items()
             if not _missing(getattr(row, field)) and getattr(row, field) != default]
    return " ".join(parts) or "design"


# ---- running ----------------------------------------------------------------------------

class Results(NamedTuple):
    """What `run` returns. Units: each document's own, named in the `units` column of every
    table: "us" ft, cfs, ft/s; "si" (an SI project) m, m³/s, m/s.

    pipes       one row per document, scenario and pipe: document, scenario (its row in the
                scenario table), the scenario fields, pipe, design_q, pct_full, velocity,
                hgl_up, hgl_dn, surcharged
    structures  one row per document, scenario and structure: ..., structure, hgl, freeboard,
                floods
    summary     one row per document and scenario: ..., pipes_surcharged,
                structures_flooding, least_freeboard (of the inlets and junctions),
                outfall_q (the design flow into the outfalls, summed), error (the message of
                a scenario that failed, else None; its counts are then missing)
    """

    pipes: DataFrame
    structures: DataFrame
    summary: DataFrame


NetworkInput = str | os.PathLike[str] | Document | Mapping[str, Any]


def run(documents: NetworkInput | Iterable[NetworkInput], scenarios: Any, *, client: Any = None, workers: int | None = None,
        progress: bool = True) -> Results:
    """Analyses every document under every scenario.

    documents: network files of any format, `Document`s, or project documents as
    `read_network` returns them (a dict, or a list of them). scenarios: anything `scenario_table`
    takes. client: a `dask.distributed.Client` to run on its cluster, one task per batch of
    scenarios of one document; None runs on a local pool of `workers` threads (default: the
    CPU count). progress: a bar on standard error when it is a terminal (needs tqdm).

    A document that cannot be read, or a scenario that fails, has its message in the summary;
    everything else still runs and is kept.
    """
    table = scenario_table(scenarios)
    records = [{field: None if _missing(value) else value for field, value in row.items()
                if field != "name"} for row in table.to_dict("records")]
    from .formats.registry import read_input

    if isinstance(documents, (str, os.PathLike, Document, Mapping)):
        documents = [documents]
    loaded: list[Document | DocumentError] = []
    for item in documents:
        try:
            loaded.append(read_input(item))
        except DocumentError as error:
            loaded.append(error)

    parallel = workers or os.cpu_count() or 1
    plan = _Plan(loaded, records, parallel)
    bar = _progress_bar(sum(plan.width(job) for job in plan.jobs), progress)
    try:
        if client is None:
            plan.run_local(parallel, bar)
        else:
            plan.run_dask(client, bar)
    finally:
        if bar is not None:
            bar.close()
    return _assemble(loaded, table, plan.jobs, plan.size, plan.done)


def connect(address: str, timeout: float = 30.0) -> Any:
    """A `dask.distributed.Client` of the scheduler at `address` (needs the dask extra)."""
    return _module("dask.distributed").Client(address, timeout=timeout)


def analyze_batch(text: str, format: Literal["project", "rwn"],
                  records: Sequence[Mapping[str, Any]]) -> dict[str, Any]:
    """One task: a document under a batch of scenarios, as numpy columns (picklable, so a
    Dask worker can send it back)."""
    np = _module("numpy")
    result = rillway.analyze_scenarios(text, records, format=format)
    return {"name": result["name"], "errors": result["errors"],
            **{part: {key: value if isinstance(value, list) else np.asarray(value)
                      for key, value in result[part].items()}
               for part in ("pipes", "nodes")}}


Job = tuple[int, int]  # (document position, first scenario of the batch)


class _Plan:
    """The batches of a run: each document's scenarios in slices of `size`, and what each
    batch gave (its columns, or the message it failed with)."""

    def __init__(self, loaded: list[Document | DocumentError], records: list[dict[str, Any]],
                 parallel: int) -> None:
        self.loaded = loaded
        self.records = records
        count = len(records)
        # Four batches per worker at least, so the pool stays busy to the end.
        self.size = max(1, min(MAX_BATCH, math.ceil(count / (4 * parallel))))
        self.jobs: list[Job] = [(d, start) for d, doc in enumerate(loaded)
                                if isinstance(doc, Document) for start in range(0, count, self.size)]
        self.done: dict[Job, dict[str, Any] | str] = {}

    def width(self, job: Job) -> int:
        return min(self.size, len(self.records) - job[1])

    def task(self, job: Job) -> tuple[Literal["project", "rwn"], list[dict[str, Any]]]:
        document = self.loaded[job[0]]
        assert isinstance(document, Document)
        fmt: Literal["project", "rwn"] = "rwn" if document.format == "rwn" else "project"
        return fmt, self.records[job[1]:job[1] + self.size]

    def text(self, job: Job) -> str:
        document = self.loaded[job[0]]
        assert isinstance(document, Document)
        return document.text

    def run_local(self, parallel: int, bar: Any) -> None:
        with ThreadPoolExecutor(max_workers=parallel) as pool:
            futures = {pool.submit(analyze_batch, self.text(job), *self.task(job)): job
                       for job in self.jobs}
            for future in as_completed(futures):
                self.collect(futures[future], future.result, bar)

    def run_dask(self, client: Any, bar: Any) -> None:
        dask_completed = _module("dask.distributed").as_completed
        # Each document's text travels to the cluster once, not with every batch.
        texts = {d: client.scatter(self.text((d, 0))) for d in {d for d, _ in self.jobs}}
        jobs: dict[str, Job] = {}
        futures = []
        for job in self.jobs:
            future = client.submit(analyze_batch, texts[job[0]], *self.task(job), pure=False)
            jobs[future.key] = job
            futures.append(future)
        for future in dask_completed(futures):
            self.collect(jobs[future.key], future.result, bar)
            future.release()

    def collect(self, job: Job, result: Any, bar: Any) -> None:
        try:
            self.done[job] = result()
        except ValueError as error:  # the document cannot be read: all its scenarios fail
            self.done[job] = str(error)
        except Exception as error:  # noqa: BLE001 - a lost worker, say: this batch's error
            self.done[job] = f"{type(error).__name__}: {error}"
        if bar is not None:
            bar.update(self.width(job))


def _progress_bar(total: int, wanted: bool) -> Any:
    if not wanted:
        return None
    try:
        tqdm = _module("tqdm").tqdm
    except ImportError:
        return None
    # disable=None: no bar unless standard error is a terminal.
    return tqdm(total=total, unit="scenario", disable=None, smoothing=0.1)


def _assemble(loaded: list[Document | DocumentError], table: DataFrame, jobs: list[Job],
              size: int, done: dict[Job, dict[str, Any] | str]) -> Results:
    np = _module("numpy")
    pd = _module("pandas")

    count = len(table)
    pipe_parts, node_parts, summaries = [], [], []
    for d, doc in enumerate(loaded):
        if isinstance(doc, DocumentError):
            summaries.append(_summary(d, [doc.message] * count, np.arange(0), None))
            continue
        errors: list[str | None] = [None] * count
        good = []
        for start, batch in sorted((start, done[(dd, start)]) for dd, start in jobs if dd == d):
            stop = min(start + size, count)
            if isinstance(batch, str):
                errors[start:stop] = [batch] * (stop - start)
            else:
                errors[start:stop] = batch["errors"]
                good.append((start, batch))
        rows = np.concatenate([np.arange(start, start + len(b["errors"])) for start, b in good]
                              or [np.arange(0)])
        ok = np.array([errors[r] is None for r in rows], dtype=bool)
        stats = None
        if good:
            pipes = {v: np.concatenate([b["pipes"][v] for _, b in good]) for v in PIPE_VALUES}
            nodes = {v: np.concatenate([b["nodes"][v] for _, b in good]) for v in NODE_VALUES}
            if is_si(doc):
                for values in (pipes, nodes):
                    for key in values:
                        if key in SI_UNITS:
                            values[key] = values[key] / US_PER_SI[SI_UNITS[key][1]]
            first = good[0][1]
            pipe_parts.append(_long(d, rows, ok, first["pipes"]["id"], pipes, "pipe"))
            node_parts.append(_long(d, rows, ok, first["nodes"]["id"], nodes, "structure"))
            stats = _statistics(first, pipes, nodes, len(rows), ok)
        summaries.append(_summary(d, errors, rows[ok], stats))

    units = np.array([isinstance(doc, Document) and is_si(doc) for doc in loaded] or [False])
    sources = [doc.source for doc in loaded]
    names = list(dict.fromkeys(sources))
    codes = np.array([names.index(s) for s in sources] or [0], dtype=np.int64)
    fields = table.assign(name=table["name"].astype("category"))

    def finish(parts: list[DataFrame], values: Sequence[str], label: str) -> DataFrame:
        frame = (pd.concat(parts, ignore_index=True) if parts else
                 pd.DataFrame({"document": np.zeros(0, np.int64), "scenario": np.zeros(0, np.int64),
                               label: pd.Categorical([]),
                               **{v: np.zeros(0) for v in values}}))
        document = pd.Categorical.from_codes(codes[frame["document"].to_numpy(np.int64)],
                                             categories=pd.Index(names, dtype=object))
        chosen = fields.iloc[frame["scenario"].to_numpy(np.int64)].reset_index(drop=True)
        si = units[frame["document"].to_numpy(np.int64)]
        return pd.concat([pd.DataFrame({"document": document,
                                        "scenario": frame["scenario"].to_numpy(np.int64),
                                        "units": pd.Categorical.from_codes(
                                            si.astype(np.int64), categories=["us", "si"])}),
                          chosen, frame.drop(columns=["document", "scenario"])], axis=1)

    summary_values = ("pipes_surcharged", "structures_flooding", "least_freeboard",
                      "outfall_q", "error")
    return Results(finish(pipe_parts, PIPE_VALUES, "pipe"),
                   finish(node_parts, NODE_VALUES, "structure"),
                   finish(summaries, summary_values[:-1], "error"))


def _long(d: int, rows: Any, ok: Any, ids: list[str], columns: dict[str, Any], label: str
          ) -> DataFrame:
    """One document's long table: a row per successful scenario and element."""
    np = _module("numpy")
    pd = _module("pandas")

    width, kept = len(ids), int(ok.sum())
    unique = list(dict.fromkeys(ids))
    position = {element: i for i, element in enumerate(unique)}
    codes = np.array([position[element] for element in ids], dtype=np.int64)
    keep = np.repeat(ok, width)
    frame = pd.DataFrame({
        "document": np.full(kept * width, d, dtype=np.int64),
        "scenario": np.repeat(rows[ok], width),
        label: pd.Categorical.from_codes(np.tile(codes, kept),
                                         categories=pd.Index(unique, dtype=object)),
    })
    for name, values in columns.items():
        frame[name] = values[keep]
    return frame


def _statistics(first: dict[str, Any], pipes: dict[str, Any], nodes: dict[str, Any],
                count: int, ok: Any) -> dict[str, Any]:
    """Per successful scenario: surcharged pipes, flooding structures, the least freeboard
    of the inlets and junctions, and the flow into the outfalls."""
    np = _module("numpy")

    kinds = first["nodes"]["kind"]
    outfalls = {i for i, kind in zip(first["nodes"]["id"], kinds) if kind == "outfall"}
    into_outfall = np.array([to in outfalls for to in first["pipes"]["to"]], dtype=bool)
    structure = np.array([kind != "outfall" for kind in kinds], dtype=bool)

    def matrix(values: Any) -> Any:
        return values.reshape(count, -1)[ok] if values.size else np.zeros((int(ok.sum()), 0))

    freeboard = matrix(nodes["freeboard"])[:, structure]
    return {"pipes_surcharged": matrix(pipes["surcharged"]).sum(axis=1),
            "structures_flooding": matrix(nodes["floods"]).sum(axis=1),
            "least_freeboard": (freeboard.min(axis=1) if freeboard.shape[1]
                                else np.full(freeboard.shape[0], np.nan)),
            "outfall_q": matrix(pipes["design_q"])[:, into_outfall].sum(axis=1)}


def _summary(d: int, errors: list[str | None], good: Any, stats: dict[str, Any] | None
             ) -> DataFrame:
    np = _module("numpy")
    pd = _module("pandas")

    count = len(errors)
    frame = pd.DataFrame({
        "document": np.full(count, d, dtype=np.int64),
        "scenario": np.arange(count, dtype=np.int64),
        "pipes_surcharged": pd.array([pd.NA] * count, dtype="Int64"),
        "structures_flooding": pd.array([pd.NA] * count, dtype="Int64"),
        "least_freeboard": np.full(count, np.nan),
        "outfall_q": np.full(count, np.nan),
    })
    if stats is not None:
        for name, values in stats.items():
            frame.loc[good, name] = values
    frame["error"] = pd.Series(errors, dtype=object)
    return frame


# ---- output -----------------------------------------------------------------------------

def parquet_targets(path: str) -> list[str]:
    """The files of the pipe, structure and summary tables for the output `path`."""
    stem = path[:-len(".parquet")] if path.lower().endswith(".parquet") else path
    return [path, f"{stem}.structures.parquet", f"{stem}.summary.parquet"]


def write_parquet(results: Results, path: str | os.PathLike[str]) -> list[str]:
    """Writes the pipe table to `path` and the other two beside it: results.parquet gives
    results.parquet (pipes), results.structures.parquet and results.summary.parquet. Returns
    their paths."""
    _module("pyarrow")  # fail before writing anything when it is missing
    path = os.fspath(path)
    targets = dict(zip(("pipes", "structures", "summary"), parquet_targets(path)))
    from .formats.files import replace_together

    folder = Path(path).parent
    with tempfile.TemporaryDirectory(prefix=".rillway-", dir=folder) as scratch:
        moves = []
        for part, target in targets.items():
            staged = os.path.join(scratch, f"{part}.parquet")
            getattr(results, part).to_parquet(staged, engine="pyarrow", index=False)
            moves.append((staged, Path(target)))
        # The three tables land together: a failure leaves the earlier ones, not a mix.
        replace_together(moves, path)
    return list(targets.values())


def summary_text(summary: DataFrame, rows: int = 100) -> str:
    """The summary as an aligned table, at most `rows` rows."""
    columns = ["document", "name", "pipes_surcharged", "structures_flooding",
               "least_freeboard", "outfall_q"]
    if summary["error"].notna().any():
        columns.append("error")
    shown = summary[columns].head(rows)
    text: str = shown.to_string(index=False, na_rep="-", float_format=lambda x: f"{x:.3f}")
    if len(summary) > rows:
        text += f"\n... {len(summary) - rows} more rows"
    return text
