#!/usr/bin/python3
"""What bench/page_check.py makes of its album and of Lighthouse's reports, without a browser."""

import os
import shutil
import sys
import tempfile
import unittest
import urllib.error
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, os.pardir, "bench"))

import page_check  # noqa: E402


def audit(score, mode="binary", **more):
    return {"score": score, "scoreDisplayMode": mode, **more}


class AlbumPlanTest(unittest.TestCase):

    def test_album_is_a_camera_owners_tree(self):
        plan = page_check.album_plan()
        self.assertGreaterEqual(len(plan), 30)
        self.assertEqual({(w, h) for _, w, h, _, _ in plan}, {(4000, 3000), (3000, 4000)})
        self.assertEqual({os.path.dirname(path).count("/") for path, *_ in plan if os.path.dirname(path)}, {0, 1})
        self.assertTrue(any(not os.path.dirname(path) for path, *_ in plan), "no photograph at the top")
        captions = [caption for *_, caption in plan if caption]
        self.assertTrue(0 < len(captions) < len(plan))
        names = [os.path.basename(path) for path, *_ in plan]
        self.assertEqual(len(set(names)), len(names))
        for folder, _ in page_check.FOLDERS:
            taken = [stamp for path, _, _, stamp, _ in plan if os.path.dirname(path) == folder]
            self.assertEqual(len(set(taken)), len(taken), f"two photographs of {folder!r} taken at once")
            self.assertNotEqual(taken, sorted(taken), f"{folder!r} was taken in the order of its names")


class SummaryTest(unittest.TestCase):

    def report(self):
        audits = {
            "cumulative-layout-shift": audit(1, "numeric", numericValue=0.0123),
            "largest-contentful-paint": audit(0.8, "numeric", numericValue=2450.7),
            "errors-in-console": audit(0, details={"items": [{"source": "network", "description": "404", "url": "/a.ico"},
                                                             {"source": "javascript", "description": "x"}]}),
            "image-size-responsive": audit(None, "notApplicable"),
            "color-contrast": audit(0),
            "image-alt": audit(1),
            "label": audit(None, "notApplicable"),
            "valid-source-maps": audit(None, "informative"),
            "meta-description": audit(0),
            "canonical": audit(0, explanation="Points to the domain's root URL (the homepage), instead of ..."),
            "structured-data": audit(None, "manual"),
        }
        refs = {
            "accessibility": ["color-contrast", "image-alt", "label"],
            "best-practices": ["errors-in-console", "valid-source-maps", "image-size-responsive"],
            "seo": ["meta-description", "canonical", "structured-data"],
        }
        categories = {name: {"score": score, "auditRefs": [{"id": id} for id in refs.get(name, [])]}
                      for name, score in (("performance", 0.975), ("accessibility", 0.9),
                                          ("best-practices", None), ("seo", 0.83))}
        return {"audits": audits, "categories": categories, "runWarnings": ["slow"]}

    def test_figures_and_failing_audits(self):
        summary = page_check.summarize(self.report())
        self.assertEqual(summary["scores"], {"performance": 98, "accessibility": 90, "best-practices": None,
                                             "seo": 83})
        self.assertEqual((summary["cls"], summary["lcp"]), (0.0123, 2450.7))
        self.assertEqual(summary["console_errors"], ["404 /a.ico", "x"])
        self.assertEqual(summary["image_size_responsive"], "n/a")
        # Audits that do not apply, need a person or only inform never count as failing.
        self.assertEqual(summary["failing"], {"accessibility": ["color-contrast"],
                                              "best-practices": ["errors-in-console"],
                                              "seo": ["meta-description", "canonical"]})
        self.assertTrue(summary["canonical"].startswith("Points to the domain's root URL"))
        self.assertEqual(summary["canonical_verdict"], "fail")
        self.assertTrue(page_check.canonical_failed([("top", "mobile", summary)]))

    def test_clean_report(self):
        report = self.report()
        for found in report["audits"].values():
            if found["scoreDisplayMode"] in ("binary", "numeric"):
                found["score"] = 1
        report["audits"]["errors-in-console"]["details"]["items"] = []
        report["audits"]["image-size-responsive"] = audit(1)
        summary = page_check.summarize(report)
        self.assertEqual((summary["failing"], summary["console_errors"], summary["image_size_responsive"]),
                         ({}, [], "pass"))
        self.assertIsNone(summary["canonical"])
        self.assertEqual(summary["canonical_verdict"], "pass")
        self.assertFalse(page_check.canonical_failed([("top", "mobile", summary), ("album", "mobile", "no page")]))


class GalleryServerTest(unittest.TestCase):

    def test_serves_the_tree_with_its_content_types(self):
        root = tempfile.mkdtemp(prefix="pexa-page-check-test-")
        self.addCleanup(shutil.rmtree, root, True)
        os.makedirs(os.path.join(root, "2024 Coast"))
        files = {"2024 Coast/IMG_1.jpg.index.html": "text/html", "pexa-gallery.css": "text/css",
                 "2024 Coast/IMG_1.jpg": "image/jpeg", "2024 Coast/IMG_1.jpg.300w.jpg": "image/jpeg"}
        for name in files:
            with open(os.path.join(root, name), "wb") as f:
                f.write(name.encode())
        server = page_check.GalleryServer(root)
        try:
            for name, kind in files.items():
                with urllib.request.urlopen(server.url(name)) as reply:
                    self.assertEqual((reply.headers["Content-Type"], reply.read()), (kind, name.encode()))
            with self.assertRaises(urllib.error.HTTPError) as missing:
                urllib.request.urlopen(server.url("favicon.ico"))
            self.assertEqual(missing.exception.code, 404)
            missing.exception.close()
        finally:
            server.close()
        self.assertFalse(server.thread.is_alive())


if __name__ == "__main__":
    unittest.main(verbosity=2)
