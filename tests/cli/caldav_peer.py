#!/usr/bin/python3
"""The independent CalDAV client of the publish and pull tests, over Debian's python3-caldav.

caldav_peer.py URL USER PASSWORD COMMAND [ARGS]; the password comes as an argument only because the test
server and its throw-away user exist for the run of one test. PEER_CA names the CA file of an https server.
  setup YEARCAL HOLIDAYCAL   make both calendars; a foreign event in the first, holidays in the second
  list CAL                   one line per event: UID, a tab, SUMMARY
  edit CAL UID SUMMARY       change an event's summary as a phone would
  make CAL                   make an empty calendar
  dump CAL                   one JSON object per event: uid, summary, description, start, end, color,
                             ticks, alarms, sequence
  set CAL UID NAME VALUE     set a property (DTSTART/DTEND take YYYYMMDD or YYYYMMDDTHHMMSS in UTC)
  noalarm CAL UID            remove the event's alarms
  delete CAL UID             delete the event
  add CAL FILE               save the calendar object in FILE as a new event
"""
import datetime
import json
import os
import sys

import caldav
import icalendar

FOREIGN = """BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//peer//test//EN
BEGIN:VEVENT
UID:dentist-4711@example.org
DTSTAMP:20260101T000000Z
DTSTART:20260310T090000Z
DTEND:20260310T100000Z
SUMMARY:Dentist
END:VEVENT
END:VCALENDAR
"""

HOLIDAYS = [
    ("new-year@holidays.example", "20260101", "20260102", "New Year's Day", True),
    ("labour-day-2026@holidays.example", "20260501", "20260502", "Labour Day", False),
    ("christmas@holidays.example", "20251225", "20251226", "Christmas Day", True),
]

TIMED = """BEGIN:VCALENDAR
VERSION:2.0
PRODID:-//peer//test//EN
BEGIN:VEVENT
UID:parade@holidays.example
DTSTAMP:20260101T000000Z
DTSTART:20260704T100000Z
DTEND:20260704T120000Z
SUMMARY:Parade
END:VEVENT
END:VCALENDAR
"""


def holiday(uid, start, end, summary, yearly):
    rule = "RRULE:FREQ=YEARLY\n" if yearly else ""
    return ("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//peer//test//EN\nBEGIN:VEVENT\n"
            f"UID:{uid}\nDTSTAMP:20260101T000000Z\nDTSTART;VALUE=DATE:{start}\n"
            f"DTEND;VALUE=DATE:{end}\n{rule}SUMMARY:{summary}\nEND:VEVENT\nEND:VCALENDAR\n")


def main():
    url, user, password, command, *args = sys.argv[1:]
    client = caldav.DAVClient(url, username=user, password=password,
                              ssl_verify_cert=os.environ.get("PEER_CA", True))
    principal = client.principal()
    if command == "setup":
        year = principal.make_calendar(name=args[0], cal_id=args[0])
        year.save_event(FOREIGN)
        holidays = principal.make_calendar(name=args[1], cal_id=args[1])
        for h in HOLIDAYS:
            holidays.save_event(holiday(*h))
        holidays.save_event(TIMED)
        return
    if command == "make":
        principal.make_calendar(name=args[0], cal_id=args[0])
        return
    calendar = principal.calendar(cal_id=args[0])
    if command == "list":
        for event in calendar.events():
            for component in icalendar.Calendar.from_ical(event.data).walk("VEVENT"):
                print(f"{component['UID']}\t{component.get('SUMMARY', '')}")
    elif command == "edit":
        event = calendar.event_by_uid(args[1])
        parsed = icalendar.Calendar.from_ical(event.data)
        for component in parsed.walk("VEVENT"):
            component["SUMMARY"] = args[2]
        event.data = parsed.to_ical().decode()
        event.save()
    elif command == "dump":
        for event in calendar.events():
            for c in icalendar.Calendar.from_ical(event.data).walk("VEVENT"):
                start = c.decoded("DTSTART")
                end = c.decoded("DTEND") if "DTEND" in c else None
                print(json.dumps({
                    "uid": str(c["UID"]), "summary": str(c.get("SUMMARY", "")),
                    "description": str(c.get("DESCRIPTION", "")),
                    "start": start.isoformat(), "end": end.isoformat() if end else "",
                    "color": str(c.get("COLOR", "")), "ticks": str(c.get("X-TOLVA-TICKS", "")),
                    "alarms": len(c.walk("VALARM")), "sequence": int(c.get("SEQUENCE", 0))}))
    elif command in ("set", "noalarm"):
        event = calendar.event_by_uid(args[1])
        parsed = icalendar.Calendar.from_ical(event.data)
        for c in parsed.walk("VEVENT"):
            if command == "noalarm":
                c.subcomponents = [s for s in c.subcomponents if s.name != "VALARM"]
                continue
            name, value = args[2], args[3]
            if name in ("DTSTART", "DTEND"):
                if "T" in value:
                    value = datetime.datetime.strptime(value, "%Y%m%dT%H%M%S").replace(
                        tzinfo=datetime.timezone.utc)
                else:
                    value = datetime.datetime.strptime(value, "%Y%m%d").date()
            if name in c:
                del c[name]
            c.add(name, value)
            if name == "DTSTART" and isinstance(value, datetime.datetime) and "DURATION" not in c \
                    and "DTEND" not in c:
                c.add("DURATION", datetime.timedelta(0))
        event.data = parsed.to_ical().decode()
        event.save()
    elif command == "delete":
        calendar.event_by_uid(args[1]).delete()
    elif command == "add":
        calendar.save_event(open(args[1], encoding="utf-8").read())
    else:
        sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    main()
