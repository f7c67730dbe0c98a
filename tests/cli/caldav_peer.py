#!/usr/bin/python3
"""The independent CalDAV client of the publish and pull tests, over Debian's python3-caldav.

caldav_peer.py URL USER PASSWORD COMMAND [ARGS]; the password comes as an argument only because the test
server and its throw-away user exist for the run of one test.
  setup YEARCAL HOLIDAYCAL   make both calendars; a foreign event in the first, holidays in the second
  list CAL                   one line per event: UID, a tab, SUMMARY
  edit CAL UID SUMMARY       change an event's summary as a phone would
"""
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
    client = caldav.DAVClient(url, username=user, password=password)
    principal = client.principal()
    if command == "setup":
        year = principal.make_calendar(name=args[0], cal_id=args[0])
        year.save_event(FOREIGN)
        holidays = principal.make_calendar(name=args[1], cal_id=args[1])
        for h in HOLIDAYS:
            holidays.save_event(holiday(*h))
        holidays.save_event(TIMED)
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
    else:
        sys.exit(f"unknown command {command}")


if __name__ == "__main__":
    main()
