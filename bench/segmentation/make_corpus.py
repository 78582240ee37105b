#!/usr/bin/python3
"""Writes the segmentation corpus: realistic records as JSON lines, one record a line.

Each line is {"category": ..., "text": ..., "sjis": bool}. The text is Unicode; the encoders are
given its UTF-8 bytes, or its Shift JIS bytes when "sjis" is true (Japanese text, which the npm
package then writes in Kanji mode through its Shift JIS helper). The corpus is the same on every
run: the random choices come from a fixed seed.

Usage: make_corpus.py [--records-per-category N] > corpus.jsonl
"""

import argparse
import json
import random
import string
import sys
from typing import Callable, Dict, List

WORDS = ["shop", "news", "order", "track", "item", "product", "blog", "store", "media", "event",
         "ticket", "catalog", "support", "account", "invoice", "delivery", "menu", "booking"]
DOMAINS = ["example.com", "example-shop.de", "shop.example.org", "t.example.net",
           "www.example.co.jp", "portal.example.fr"]
FIRST_NAMES = ["Anna", "Jonas", "Marie", "Lukas", "Sofia", "Paul", "Emma", "Noah", "Léa", "Jürgen",
               "Zoë", "Björn", "Chloé", "Mateo", "Inés", "Sven"]
LAST_NAMES = ["Müller", "Schmidt", "Dupont", "García", "Rossi", "Smith", "Nováková", "Jensen",
              "Kowalski", "Öztürk", "Martin", "Brown", "Lefèvre", "Weiß"]
CITIES = ["Berlin", "München", "Paris", "Lyon", "Madrid", "Zürich", "Wien", "Milano", "København"]
STREETS = ["Hauptstraße", "Rue de la Paix", "Calle Mayor", "Via Roma", "Bahnhofstraße",
           "Main Street"]
JAPANESE_PLACES = ["東京都千代田区", "大阪府大阪市北区", "京都府京都市中京区", "北海道札幌市中央区",
                   "神奈川県横浜市西区", "愛知県名古屋市中村区", "福岡県福岡市博多区"]
JAPANESE_PHRASES = ["お問い合わせはこちら", "ご来店ありがとうございます", "商品番号", "価格", "円",
                    "賞味期限", "製造番号", "本日のおすすめ", "営業時間", "電話番号", "予約番号",
                    "東京駅から徒歩五分", "会員登録はこちらから", "在庫あり", "送料無料"]


def digits(rng: random.Random, n: int) -> str:
    return "".join(rng.choice(string.digits) for _ in range(n))


def upper(rng: random.Random, n: int) -> str:
    return "".join(rng.choice(string.ascii_uppercase) for _ in range(n))


def lower(rng: random.Random, n: int) -> str:
    return "".join(rng.choice(string.ascii_lowercase) for _ in range(n))


def url(rng: random.Random) -> str:
    domain = rng.choice(DOMAINS)
    path = "/".join(rng.choice(WORDS) for _ in range(rng.randint(1, 3)))
    kind = rng.randrange(5)
    if kind == 0:
        return f"https://{domain}/{path}/{digits(rng, rng.randint(6, 16))}"
    if kind == 1:
        return f"https://{domain}/{path}?id={digits(rng, rng.randint(5, 12))}&ref={lower(rng, 4)}"
    if kind == 2:
        return f"HTTPS://{domain.upper()}/{path.upper()}/{digits(rng, rng.randint(8, 20))}"
    if kind == 3:
        return (f"https://{domain}/track?order={digits(rng, 10)}&zip={digits(rng, 5)}"
                f"&utm_source={rng.choice(WORDS)}")
    return f"http://{domain}/{upper(rng, 2)}{digits(rng, rng.randint(10, 14))}"


def vcard(rng: random.Random) -> str:
    first, last = rng.choice(FIRST_NAMES), rng.choice(LAST_NAMES)
    lines = ["BEGIN:VCARD", "VERSION:3.0", f"N:{last};{first}", f"FN:{first} {last}",
             f"ORG:{rng.choice(WORDS).capitalize()} {rng.choice(['GmbH', 'SA', 'Ltd', 'S.p.A.'])}",
             f"TEL;TYPE=CELL:+{rng.choice(['49', '33', '34', '39', '44'])}{digits(rng, 10)}",
             f"EMAIL:{first.lower()}.{last.lower()}@{rng.choice(DOMAINS)}"]
    if rng.random() < 0.7:
        lines.append(f"ADR:;;{rng.choice(STREETS)} {rng.randint(1, 200)};{rng.choice(CITIES)};;"
                     f"{digits(rng, 5)};")
    if rng.random() < 0.5:
        lines.append(f"URL:https://{rng.choice(DOMAINS)}/{lower(rng, 6)}")
    lines.append("END:VCARD")
    return "\n".join(lines)


def wifi(rng: random.Random) -> str:
    ssid = rng.choice([f"{rng.choice(WORDS).capitalize()}-{digits(rng, 4)}",
                       f"FRITZ!Box {digits(rng, 4)}",
                       f"{upper(rng, 4)}_{rng.choice(['2G', '5G'])}", f"{lower(rng, 7)}"])
    password = rng.choice([lower(rng, 8) + digits(rng, 4), digits(rng, 20),
                           upper(rng, 4) + lower(rng, 6)])
    return (f"WIFI:T:{rng.choice(['WPA', 'WEP', 'WPA2'])};S:{ssid};P:{password};"
            f"H:{rng.choice(['false', 'true'])};;")


def gs1(rng: random.Random) -> str:
    """GS1 element strings: raw with group separators, or in the human-readable form."""
    gtin = digits(rng, 14)
    expiry = f"{rng.randint(24, 30):02d}{rng.randint(1, 12):02d}{rng.randint(1, 28):02d}"
    lot = upper(rng, rng.randint(1, 3)) + digits(rng, rng.randint(3, 8))
    serial = digits(rng, rng.randint(6, 12))
    if rng.random() < 0.6:
        text = f"01{gtin}17{expiry}10{lot}\x1d21{serial}"
        if rng.random() < 0.4:
            text += f"\x1d3103{digits(rng, 6)}"
        return text
    return f"(01){gtin}(17){expiry}(10){lot}(21){serial}"


def product_code(rng: random.Random) -> str:
    kind = rng.randrange(5)
    if kind == 0:
        return f"SKU-{upper(rng, 2)}{digits(rng, 2)}-{digits(rng, 6)}"
    if kind == 1:
        return (f"PN: {digits(rng, 4)}-{digits(rng, 4)}-{upper(rng, 3)} "
                f"LOT {upper(rng, 1)}{digits(rng, 7)}")
    if kind == 2:
        return f"{upper(rng, 3)}{digits(rng, 12)}{upper(rng, 2)}"
    if kind == 3:
        return (f"Art.-Nr. {digits(rng, 8)} / Ch.-B. {upper(rng, 2)}{digits(rng, 5)} / "
                f"{rng.choice(CITIES)}")
    return (f"S/N {digits(rng, 4)} {digits(rng, 4)} {digits(rng, 4)} "
            f"MFG 20{rng.randint(10, 26)}-{rng.randint(1, 12):02d}")


def japanese(rng: random.Random) -> str:
    kind = rng.randrange(4)
    if kind == 0:
        return (f"{rng.choice(JAPANESE_PLACES)}"
                f"{rng.randint(1, 9)}-{rng.randint(1, 30)}-{rng.randint(1, 20)}")
    if kind == 1:
        return (f"{rng.choice(JAPANESE_PHRASES)} 電話番号 "
                f"0{digits(rng, 1)}-{digits(rng, 4)}-{digits(rng, 4)}")
    if kind == 2:
        return (f"商品番号 {digits(rng, 8)} 価格 {rng.randint(100, 99999)}円 "
                f"{rng.choice(JAPANESE_PHRASES)}")
    return "".join(rng.choice(JAPANESE_PHRASES) for _ in range(rng.randint(2, 5)))


def random_mix(rng: random.Random) -> str:
    classes: List[Callable[[int], str]] = [
        lambda n: digits(rng, n), lambda n: upper(rng, n), lambda n: lower(rng, n),
        lambda n: "".join(rng.choice(" $%*+-./:") for _ in range(n)),
        lambda n: "".join(rng.choice("äöüßéèàçñ") for _ in range(n)),
    ]
    return "".join(rng.choice(classes)(rng.randint(1, 20)) for _ in range(rng.randint(2, 8)))


def message(rng: random.Random) -> str:
    kind = rng.randrange(3)
    if kind == 0:
        return f"mailto:{lower(rng, 5)}@{rng.choice(DOMAINS)}?subject=Order%20{digits(rng, 8)}"
    if kind == 1:
        return f"SMSTO:+{digits(rng, 12)}:Your code is {digits(rng, 6)}"
    return f"geo:{rng.uniform(-90, 90):.6f},{rng.uniform(-180, 180):.6f}"


CATEGORIES: Dict[str, Callable[[random.Random], str]] = {
    "url": url, "vcard": vcard, "wifi": wifi, "gs1": gs1, "product": product_code,
    "japanese": japanese, "mix": random_mix, "message": message,
}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--records-per-category", type=int, default=150)
    args = parser.parse_args()
    rng = random.Random(15)
    for category, make in CATEGORIES.items():
        for _ in range(args.records_per_category):
            text = make(rng)
            record = {"category": category, "text": text, "sjis": category == "japanese"}
            sys.stdout.write(json.dumps(record, ensure_ascii=False) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
