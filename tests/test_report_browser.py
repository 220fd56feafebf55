"""The report in a real browser: Debian's Chromium, headless, driven by Playwright. One
browser for the module; a screenshot of each report's first screen is kept in
build/test-artifacts/."""
import json
import shutil
from pathlib import Path

import pytest
from playwright.sync_api import sync_playwright

import rillway
from rillway_tools import cli

ROOT = Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
ARTIFACTS = ROOT / "build" / "test-artifacts"
HOSTILE = "<script>alert(1)</script>"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"


@pytest.fixture(scope="module")
def browser():
    with sync_playwright() as playwright:
        # --no-sandbox: CI runs as root, where Chromium's sandbox refuses to start.
        browser = playwright.chromium.launch(executable_path=CHROMIUM, args=["--no-sandbox"])
        yield browser
        browser.close()


def hostile(tmp_path):
    project = json.loads(rillway.demo_project_json())
    project["name"] = HOSTILE
    project["nodes"][0]["id"] = HOSTILE
    project["pipes"][0]["from"] = HOSTILE
    project["catchments"][0]["inlet_node_id"] = HOSTILE
    path = tmp_path / "hostile.rwproj"
    path.write_text(json.dumps(project))
    return path


@pytest.mark.parametrize("source", ["main-street.rwn", "school-lane.rwproj", "hostile"])
def test_report_opens_cleanly_in_chromium(browser, tmp_path, source):
    path = hostile(tmp_path) if source == "hostile" else EXAMPLES / source
    target = tmp_path / "report.html"
    assert cli.main(["report", str(path), "-o", str(target), "--design"]) == 0
    result = rillway.analyze_project(rillway.design_project(
        path.read_text() if path.suffix == ".rwproj"
        else rillway.rwn_to_project(path.read_text()))["project"])

    page = browser.new_page(viewport={"width": 1200, "height": 900})
    console, dialogs, requests = [], [], []
    page.on("console", lambda message: console.append((message.type, message.text)))
    page.on("pageerror", lambda error: console.append(("pageerror", str(error))))
    page.on("dialog", lambda dialog: (dialogs.append(dialog.message), dialog.dismiss()))
    page.on("request", lambda request: requests.append(request.url))
    page.goto(target.as_uri())
    page.wait_for_load_state("load")

    assert [c for c in console if c[0] in ("error", "pageerror")] == []
    assert dialogs == [] and requests == [target.as_uri()]  # nothing else fetched
    ids = page.evaluate("[...document.querySelectorAll('[id]')].map(e => e.id)")
    assert len(ids) == len(set(ids))
    assert page.locator("#plan svg #plan-pipes path").count() == len(result["pipes"])
    assert page.locator("#pipes-table tbody tr").count() == len(result["pipes"])
    assert page.locator("#structures-table tbody tr").count() == len(result["nodes"])
    assert page.locator("#design-table tbody tr").count() == len(result["pipes"])
    if source == "hostile":
        assert page.locator("h1").inner_text() == HOSTILE
        assert page.locator("#structures-table tbody tr td").first.inner_text() == HOSTILE
        assert page.evaluate("document.scripts.length") == 0
    ARTIFACTS.mkdir(parents=True, exist_ok=True)
    shot = ARTIFACTS / f"report-{Path(source).stem}-first-screen.png"
    page.screenshot(path=str(shot))
    assert shot.read_bytes().startswith(b"\x89PNG")
    page.close()
