"""The drainage report: one self-contained HTML page (and the same as PDF) with the plan,
profiles and tables of the examples; ids from input files stay text; bad input and outputs
that cannot be written fail as `analyze` does, leaving no file behind."""
import json
import shutil
import subprocess
from pathlib import Path

import lxml.html
import pytest

import rillway
from rillway_tools import cli
from rillway_tools.report import MAX_PROFILES

ROOT = Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
ARTIFACTS = ROOT / "build" / "test-artifacts"
HOSTILE = "<script>alert(1)</script>"


def hostile_project(tmp_path):
    """School Lane with a structure, a pipe and the project named to run script."""
    project = json.loads((EXAMPLES / "school-lane.rwproj").read_text())
    project["name"] = "</style></title>" + HOSTILE
    project["nodes"][0]["id"] = HOSTILE
    project["pipes"][0]["from"] = HOSTILE
    project["pipes"][0]["id"] = "<img src=x onerror=alert(2)>"
    path = tmp_path / "hostile.rwproj"
    path.write_text(json.dumps(project))
    return path


def report(tmp_path, capsys, source, *options, name="report.html"):
    target = tmp_path / name
    status = cli.main(["report", str(source), "-o", str(target), *options])
    assert (status, capsys.readouterr().err) == (0, "")
    return target


def cells(page, table):
    return [[td.text_content() for td in tr.findall("td")]
            for tr in page.get_element_by_id(table + "-table").find("tbody").findall("tr")]


@pytest.mark.parametrize("example", ["main-street.rwn", "school-lane.rwproj"])
def test_html_is_self_contained_with_every_pipe_and_structure(tmp_path, capsys, example):
    text = report(tmp_path, capsys, EXAMPLES / example).read_text()
    page = lxml.html.document_fromstring(text)
    result = rillway.analyze_file(str(EXAMPLES / example)) if example.endswith(".rwproj") \
        else rillway.analyze_rwn((EXAMPLES / example).read_text())
    assert [row[0] for row in cells(page, "pipes")] == [p["id"] for p in result["pipes"]]
    assert [row[0] for row in cells(page, "structures")] == [n["id"] for n in result["nodes"]]
    assert len(page.xpath("//*[@id='plan']//*[@id='plan-pipes']/*[local-name()='path']")) == len(
        result["pipes"])
    # Nothing to run and nothing to fetch: links stay inside the page, pictures are inline.
    assert not page.xpath("//script | //iframe | //object | //embed | //link | //img")
    assert all(link.startswith("#") for link in page.xpath("//@href | //@*[local-name()='href']"))
    assert "url(" not in text.replace("url(#", "") and "@import" not in text
    assert not page.xpath("//@*[starts-with(local-name(), 'on')]")


def test_main_street_tables_mark_what_fails(tmp_path, capsys):
    page = lxml.html.parse(report(tmp_path, capsys, EXAMPLES / "main-street.rwn")).getroot()
    marked = page.xpath("//tr[@class='marked']/td[1]/text()")
    assert marked == ["P2", "IN2"]  # the README's table: P2 surcharges, IN2 floods
    p2 = cells(page, "pipes")[1]
    assert (p2[8], p2[9], p2[-1]) == ("22.18", "16.34", "yes")  # Q, Q full, surcharged
    headings = page.xpath("//table[@id='pipes-table']//th")
    assert headings[8].text_content() == "Qcfs"  # the unit under each heading
    assert "main-street.rwn" in page.findtext(".//h1")


def test_elm_street_inlets_table_marks_the_spread_exceeded(tmp_path, capsys):
    page = lxml.html.parse(report(tmp_path, capsys, EXAMPLES / "elm-street.rwproj")).getroot()
    rows = cells(page, "inlets")
    assert [row[0] for row in rows] == ["E1", "E2", "E3", "S4"]
    assert page.xpath("//table[@id='inlets-table']//tr[@class='marked']/td[1]/text()") == ["E3"]
    # The README's table: S4 in the sag ponds 0.175 ft in weir flow; E1 on grade has no pond.
    assert (rows[3][13], rows[3][14], rows[0][13]) == ("0.175", "weir", "-")


def test_hostile_ids_stay_text(tmp_path, capsys):
    text = report(tmp_path, capsys, hostile_project(tmp_path)).read_text()
    page = lxml.html.document_fromstring(text)
    assert not page.xpath("//script | //img")
    assert "<script>alert" not in text and "<img src" not in text
    assert page.findtext(".//h1") == "</style></title>" + HOSTILE
    assert cells(page, "structures")[0][0] == HOSTILE
    assert cells(page, "pipes")[0][:2] == ["<img src=x onerror=alert(2)>", HOSTILE]
    assert HOSTILE in page.find(".//title").text_content()


def test_design_storms_and_input_warnings(tmp_path, capsys):
    project = json.loads(rillway.demo_project_json())
    project["idf_curves"] = [{"rp_years": y, "a": a, "b": 10.0, "c": 0.8}
                             for y, a in ((2, 45.0), (10, 60.0), (100, 85.0))]
    project["nodes"][1]["kind"] = "pond"  # read as an inlet, with a warning
    project["design"] = {"min_cover_ft": 2.5}
    source = tmp_path / "storms.rwproj"
    source.write_text(json.dumps(project))
    page = lxml.html.parse(report(tmp_path, capsys, source, "--design", "--storms",
                                  "2,10,100")).getroot()
    with pytest.warns(rillway.InputWarning, match="N2.*pond"):
        designed = rillway.design_project(json.dumps(project))
    assert [(row[0], row[1], row[5]) for row in cells(page, "design")] == [
        (p["id"], f"{p['diameter'] * 12:.0f}", p["governing"]) for p in designed["pipes"]]
    assert [row[0] for row in cells(page, "scenarios")] == ["2-year", "10-year", "100-year"]
    # More rain, more flow into the outfall.
    outfall = [float(row[4]) for row in cells(page, "scenarios")]
    assert outfall == sorted(outfall) and outfall[0] < outfall[-1]
    warnings = page.get_element_by_id("warnings").text_content()
    assert "pond" in warnings and "N2" in warnings
    assert page.get_element_by_id("unmet") is not None
    assert "the project's: min_cover_ft = 2.5; every other rule at rillway's defaults" in \
        page.get_element_by_id("basis").text_content()
    curves = page.xpath("//*[@id='basis']//*[local-name()='svg']//*[local-name()='text']")
    assert {"2-year", "10-year", "100-year"} <= {t.text_content() for t in curves}


def test_profiles_one_per_outfall_and_the_rest_named(tmp_path, capsys):
    lines = []
    for k in range(MAX_PROFILES + 2):  # separate lines, each a pipe into its own outfall
        lines += [f"NODE A{k} inlet {k * 500} 0 100 106 1 0.8",
                  f"NODE O{k} outfall {k * 500} 300 95 100",
                  f"PIPE P{k} A{k} O{k} {300 + k} 1.5 0.013"]
    source = tmp_path / "lines.rwn"
    source.write_text("\n".join(lines))
    page = lxml.html.parse(report(tmp_path, capsys, source)).getroot()
    section = page.get_element_by_id("profiles")
    assert len(section.findall(".//figure")) == MAX_PROFILES
    note = section.find(".//p").text_content()
    assert "2 more" in note and "A0 to O0" in note and "A1 to O1" in note  # the shortest


@pytest.mark.parametrize("bad", ["missing.rwn", "bad.rwn", "bad.rwproj"])
def test_bad_input_gives_the_analyze_error(tmp_path, capsys, bad):
    (tmp_path / "bad.rwn").write_text("NODE N1 pond 0 0 100 105\n")
    (tmp_path / "bad.rwproj").write_text("{}")
    source = str(tmp_path / bad)
    assert cli.main(["analyze", source]) == 2
    expected = capsys.readouterr().err
    assert cli.main(["report", source, "-o", str(tmp_path / "r.html")]) == 2
    assert capsys.readouterr().err == expected and expected.count("\n") == 1
    assert not (tmp_path / "r.html").exists()


@pytest.mark.parametrize(("output", "message"), [
    ("missing/r.html", "{tmp}/missing/r.html: cannot write: No such file or directory"),
    ("r.docx", "{tmp}/r.docx: cannot write a '.docx' report (use .html or .pdf)"),
    ("folder.pdf", "{tmp}/folder.pdf: cannot write: it is a folder"),
])
def test_outputs_that_cannot_be_written(tmp_path, capsys, output, message):
    (tmp_path / "in.rwn").write_text((EXAMPLES / "main-street.rwn").read_text())
    (tmp_path / "folder.pdf").mkdir()
    before = sorted(tmp_path.iterdir())
    assert cli.main(["report", str(tmp_path / "in.rwn"), "-o", str(tmp_path / output)]) == 2
    assert capsys.readouterr().err == "rillway: " + message.format(tmp=tmp_path) + "\n"
    assert sorted(tmp_path.iterdir()) == before


def test_a_pdf_failing_midway_leaves_no_file(tmp_path, capsys, monkeypatch):
    weasyprint = pytest.importorskip("weasyprint")

    def half_written(self, target):
        Path(target).write_bytes(b"%PDF-1.7 half")
        raise OSError(28, "No space left on device")

    monkeypatch.setattr(weasyprint.HTML, "write_pdf", half_written)
    target = tmp_path / "r.pdf"
    target.write_bytes(b"the earlier report")
    assert cli.main(["report", str(EXAMPLES / "main-street.rwn"), "-o", str(target)]) == 2
    assert capsys.readouterr().err == f"rillway: {target}: cannot write: No space left on device\n"
    assert [p.name for p in tmp_path.iterdir()] == ["r.pdf"]
    assert target.read_bytes() == b"the earlier report"


def test_pdf_holds_the_names_and_every_pipe_id(tmp_path, capsys):
    pypdf = pytest.importorskip("pypdf")
    target = report(tmp_path, capsys, EXAMPLES / "school-lane.rwproj", "--design",
                    name="school-lane.pdf")
    pdf = pypdf.PdfReader(target)
    # Title, design basis, plan, profiles, pipes, structures, design, unmet rules.
    assert len(pdf.pages) == 7
    text = "\n".join(page.extract_text() for page in pdf.pages)
    assert "School Lane" in text and "Design basis" in text
    for pipe in json.loads((EXAMPLES / "school-lane.rwproj").read_text())["pipes"]:
        assert f"\n{pipe['id']} " in text
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    stem = ARTIFACTS / "report-pdf-page"
    subprocess.run([shutil.which("pdftoppm") or "pdftoppm", "-png", "-r", "50", "-f", "1",
                    "-l", "1", "-singlefile", str(target), str(stem)], check=True)
    assert stem.with_suffix(".png").read_bytes().startswith(b"\x89PNG")


def test_si_report_draws_profiles_and_sizes_in_metres(tmp_path, capsys):
    source = EXAMPLES / "school-lane.rwproj"
    page = lxml.html.parse(report(tmp_path, capsys, source, "--design", "--units", "si")
                           ).getroot()
    designed = rillway.design_project(source.read_text())
    sizes = [float(row[1]) for row in cells(page, "design")]
    assert sizes == [round(p["diameter"] * 304.8) for p in designed["pipes"]]
    labels = {t.text_content() for t in page.xpath("//*[@id='profiles']//*[local-name()='text']")}
    assert {"Station (m)", "Elevation (m)"} <= labels and "Elevation (ft)" not in labels


def long_line(count):
    """A trunk of `count` pipes, the lower ones too small for what they carry; the first
    structure named to run script."""
    nodes = [{"id": HOSTILE if k == 0 else f"N{k}", "kind": "inlet", "x": 50.0 * k, "y": 0,
              "invert": 500.0 - 0.5 * k, "rim": 508.0 - 0.5 * k, "area_ac": 0.05, "c": 0.7,
              "tc_inlet": 10.0} for k in range(count)]
    nodes.append({"id": "OUT", "kind": "outfall", "x": 50.0 * count, "y": 0,
                  "invert": 500.0 - 0.5 * count, "rim": 506.0 - 0.5 * count, "area_ac": 0,
                  "c": 0, "tc_inlet": 0})
    pipes = [{"id": f"P{k}", "from": nodes[k]["id"], "to": nodes[k + 1]["id"], "length": 50.0,
              "diameter": 4.0 if k < count - 1 else 1.0, "n": 0.013} for k in range(count)]
    return {"name": "Long Line", "idf_a": 60.0, "idf_b": 10.0, "idf_c": 0.8, "min_tc": 10.0,
            "junction_k": 0.5, "nodes": nodes, "pipes": pipes}


def test_a_long_table_prints_as_text_blocks_with_every_row(tmp_path, capsys, monkeypatch):
    from rillway_tools import report as report_module
    from rillway_tools.documents import read_document

    # The print form starts at 500 rows; a shorter table shows it as well and prints sooner.
    monkeypatch.setattr(report_module, "PRINT_TABLE_ROWS", 50)
    monkeypatch.setattr(report_module, "PRINT_BLOCK_ROWS", 20)
    count = 70
    project = long_line(count)
    source = tmp_path / "long.rwproj"
    source.write_text(json.dumps(project))
    surcharged = [r["id"] for r in rillway.analyze_project(json.dumps(project))["pipes"]
                  if r["surcharged"]]
    page = lxml.html.fromstring(report_module.report_html(read_document(str(source)),
                                                          for_print=True))
    blocks = page.get_element_by_id("pipes-table").findall("pre")
    assert len(blocks) == 4  # 20, 20, 20 and 10 rows
    lines = [line.split()[0] for block in blocks for line in block.text_content().splitlines()
             if not line.startswith(("pipe ", " "))]
    assert lines == [f"P{k}" for k in range(count)]
    marked = [span.text_content().split()[0] for span in page.find_class("marked")
              if span.getparent().getparent().get("id") == "pipes-table"]
    assert marked == surcharged and f"P{count - 1}" in marked
    assert page.xpath("//script") == [] and HOSTILE in page.text_content()
    assert page.get_element_by_id("plan").find(".//img").get("src").startswith(
        "data:image/png;base64,")
    pypdf = pytest.importorskip("pypdf")
    pdf = pypdf.PdfReader(report(tmp_path, capsys, source, name="long.pdf"))
    text = "\n".join(p.extract_text() for p in pdf.pages)
    assert all(f"P{k} " in text for k in range(count))
